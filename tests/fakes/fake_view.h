#pragma once
// Recording stand-ins for the window and the event loop.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/platform.h"

namespace kelvo::testing {

struct ShownBox {
  std::string Text;
  std::string Caption;
  unsigned Flags;
};

class FakeView : public IFormView {
 public:
  void Changed(FormElement element) override { changes.push_back(element); }
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    boxes.push_back({text, caption, flags});
    if (onMessageBox) onMessageBox();
    if (answers.empty()) return IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void FocusPlayList() override { ++focusCount; }
  void SetStatusBarVisible(bool visible) override { statusBarVisible = visible; }
  int ScreenWidth() const override { return screenWidth; }
  int ScreenHeight() const override { return screenHeight; }
  TWindowPlacement Placement() const override { return placement; }
  void SetPlacement(const TWindowPlacement& p) override {
    placement = p;
    placementHistory.push_back(p);
  }
  int PlayListFontHeight() const override { return fontHeight; }
  void SetDefaultRowHeight(int pixels) override { rowHeight = pixels; }
  unsigned RegisterWindowMessage(const std::string& name) override {
    registered.push_back(name);
    return 0xC123;
  }
  void DragAcceptFiles(bool accept) override { acceptingDrops = accept; }
  void InstallHintHandler() override { hintHandlerInstalled = true; }
  void Close() override { ++closeRequests; }

  std::vector<FormElement> changes;
  std::vector<ShownBox> boxes;
  std::deque<int> answers;
  std::function<void()> onMessageBox;
  int focusCount = 0;
  bool statusBarVisible = true;
  int screenWidth = 1920;
  int screenHeight = 1080;
  TWindowPlacement placement{100, 100, 320, 296};
  std::vector<TWindowPlacement> placementHistory;
  int fontHeight = -12;
  int rowHeight = 18;
  std::vector<std::string> registered;
  bool acceptingDrops = false;
  bool hintHandlerInstalled = false;
  int closeRequests = 0;
};

// A fake clock: timers fire only when the test advances time.
class FakeEventLoop : public IEventLoop {
 public:
  void ProcessMessages() override {
    ++pumps;
    // Waiting messages are handled in the order they were posted; a message
    // posted while handling them waits for the next pump, as on a real loop.
    auto waiting = std::move(posted);
    posted.clear();
    for (auto& message : waiting) message();
  }
  TimerId StartTimer(int milliseconds, std::function<void()> callback) override {
    const TimerId id = ++lastId;
    timers[id] = {now + milliseconds, std::move(callback)};
    return id;
  }
  void CancelTimer(TimerId id) override { timers.erase(id); }

  // A window message that the next ProcessMessages (or Advance) handles.
  void Post(std::function<void()> message) override { posted.push_back(std::move(message)); }

  // Moves the clock on, firing due timers in order, and handles posted messages.
  void Advance(long milliseconds) {
    const long until = now + milliseconds;
    for (;;) {
      ProcessMessages();
      auto due = std::min_element(timers.begin(), timers.end(), [](const auto& a, const auto& b) {
        return a.second.first < b.second.first;
      });
      if (due == timers.end() || due->second.first > until) break;
      now = due->second.first;
      auto callback = std::move(due->second.second);
      timers.erase(due);
      callback();
    }
    now = until;
  }

  long now = 0;
  int pumps = 0;
  TimerId lastId = 0;
  std::map<TimerId, std::pair<long, std::function<void()>>> timers;
  std::vector<std::function<void()>> posted;
};

}  // namespace kelvo::testing
