#pragma once
// The player's core: its state, the play list and its files, track selection
// and the start-up sequence. Plain C++; the screen and the platform are
// reached only through IFormView and IEventLoop.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/play_list.h"

namespace kelvo {

struct TLabel {
  std::string Caption;
  std::string Hint;
};

// An Option menu item: the option flags exist only as these checked states.
struct TMenuItem {
  bool Checked = false;
};

class TPlayerCore {
 public:
  TPlayerCore(IFormView& view, IEventLoop& loop);
  virtual ~TPlayerCore() = default;
  TPlayerCore(const TPlayerCore&) = delete;
  TPlayerCore& operator=(const TPlayerCore&) = delete;

  // --- state shared by the whole player ---
  std::string ListFileName;
  bool Playing = false;
  unsigned WheelMessage = 0;
  // The start-up seed's clock: milliseconds since local midnight (the
  // system's clock when empty).
  std::function<std::int32_t()> TimeOfDayMs;
  // The application title (the window's title on this system).
  std::string Title{"オーディオ再生"};

  TMenuItem RandomMenu{true};
  TMenuItem RepeatMenu{true};
  TMenuItem StatusBarMenu{true};
  TMenuItem WindowPosMenu{true};
  TMenuItem InsertModeMenu{false};

  TLabel PlayStatus{"演奏停止:", ""};
  TLabel CurrentFileName{"演奏中のファイル名", ""};
  TLabel NumberofList{"0 曲", ""};
  TLabel Nameoflist{"リストファイル名", ""};
  std::string StatusLineText;

  PlayListModel PlayList;

  // --- start-up and shutdown ---
  // The creation handler: prepares the state, loads the settings, reads the
  // play-list files named in `args` and starts playing. An error raised by a
  // step ends it there and is shown in a box.
  void FormCreate(const std::vector<std::string>& args);
  // Pulls a window that lies off the screen back onto it.
  void FormShow();
  // Stores the settings; false when that failed and the window stays open.
  virtual bool FormClose();
  void ButtonQuitClick() { view_.Close(); }

  // --- the play list ---
  int InsertionPoint() const { return PlayList.InsertionPoint(InsertModeMenu.Checked); }
  void InsertEntry(int& point, std::string path) {
    PlayList.InsertEntry(point, std::move(path), InsertModeMenu.Checked);
  }
  void ShowEntryCount();
  void ClearMarks() { PlayList.ClearMarks(); }
  void ButtonRemoveClick();
  void ButtonUpClick();
  void ButtonDownClick();
  void ClearMenuClick();
  // A row dragged by its mark cell to another place.
  void PlayListRowMoved(int from, int to) { PlayList.MoveRow(from, to); }

  // --- play-list files ---
  // `inserted`, when given, receives the number of entries the reading added.
  bool LoadPlayList(const std::string& path, bool replace, int* inserted = nullptr);
  bool SavePlayList(const std::string& path);
  // ListFileName, then the caption and hint of Nameoflist.
  void SetListFileName(const std::string& path);

  // --- track selection ---
  bool PlaySelected();
  bool PlayNextEntry(bool force);
  // Plays one file; true when it started.
  virtual bool PlayFile(const std::string& path) = 0;

  // --- the status line ---
  void DisplayHint(const std::string& hint);

  // Runs one event handler for the window: an error that leaves it is shown
  // in a box with the application title. False when that happened.
  bool Handle(const std::function<void()>& handler) { return Guarded(handler); }

 protected:
  // Start-up steps that belong to the media device and the settings store.
  virtual void SetMediaTimeFormat() {}
  virtual void LoadSettings() {}
  virtual void SaveSettings() {}

  void SetCaption(TLabel& label, FormElement element, std::string caption);
  void SetTitle(std::string title);
  // Runs an event handler as the window system does: a TLibraryError that
  // leaves it is shown in a box with the application title. False then.
  template <class F>
  bool Guarded(F&& handler) {
    try {
      handler();
      return true;
    } catch (const TLibraryError& error) {
      ShowError(error);
      return false;
    }
  }
  void ShowError(const TLibraryError& error);

  IFormView& view_;
  IEventLoop& loop_;

 private:
  void RunCreationSteps(const std::vector<std::string>& args);
  bool PlayNextShuffled(bool force);
};

}  // namespace kelvo
