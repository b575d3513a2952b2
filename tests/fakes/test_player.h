#pragma once
// A player whose PlayFile records the paths it is given.

#include <functional>
#include <string>
#include <vector>

#include "core/player_core.h"
#include "fakes/fake_view.h"

namespace kelvo::testing {

class RecordingPlayer : public TPlayerCore {
 public:
  RecordingPlayer() : TPlayerCore(view, loop) {}
  bool PlayFile(const std::string& path) override {
    played.push_back(path);
    return playResult ? playResult(path) : true;
  }

  // Fills the list with the given paths, as a batch insertion would.
  void SetRows(const std::vector<std::string>& paths) {
    PlayList.Reset();
    int point = 0;
    for (const auto& p : paths) PlayList.InsertEntry(point, p, false);
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int r = 0; r < PlayList.RowCount(); ++r) paths.emplace_back(PlayList.Path(r));
    return paths;
  }
  std::vector<bool> Marks() const {
    std::vector<bool> marks;
    for (int r = 0; r < PlayList.RowCount(); ++r) marks.push_back(PlayList.IsMarked(r));
    return marks;
  }

  FakeView view;
  FakeEventLoop loop;
  std::vector<std::string> played;
  std::function<bool(const std::string&)> playResult;
};

}  // namespace kelvo::testing
