#pragma once
// The few platform services the player's logic calls. Each has a real
// implementation in the shell and a recording one for tests.

#include <functional>
#include <stdexcept>
#include <string>

namespace kelvo {

// Message-box flags and answers (the values of the original system).
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// An error of the platform layer (settings accessor, media device) that
// leaves an event handler: the handler's remaining steps do not run and the
// error's text is shown in a box with the application title.
class TLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The window's outer position and size in screen pixels.
struct TWindowPlacement {
  int Top = 0;
  int Left = 0;
  int Height = 0;
  int Width = 0;
  bool operator==(const TWindowPlacement&) const = default;
};

// What the player shows; the view reads the new value back from the player.
enum class FormElement {
  PlayStatus,
  CurrentFileName,
  NumberofList,
  Nameoflist,
  Title,
  Options,
  StatusLine,
};

class IFormView {
 public:
  virtual ~IFormView() = default;
  virtual void Changed(FormElement element) = 0;
  // A modal message box; returns the id of the button pressed.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  virtual void FocusPlayList() = 0;
  virtual void SetStatusBarVisible(bool visible) = 0;
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  virtual TWindowPlacement Placement() const = 0;
  virtual void SetPlacement(const TWindowPlacement& placement) = 0;
  // Height of the play list's font; negative when it gives the character height.
  virtual int PlayListFontHeight() const = 0;
  virtual void SetDefaultRowHeight(int pixels) = 0;
  virtual unsigned RegisterWindowMessage(const std::string& name) = 0;
  virtual void DragAcceptFiles(bool accept) = 0;
  // The application's hint now goes to the player's DisplayHint.
  virtual void InstallHintHandler() = 0;
  // Asks the main window to close (the close handler decides).
  virtual void Close() = 0;
};

// The event loop: running waiting messages, and timers.
class IEventLoop {
 public:
  using TimerId = unsigned long;
  virtual ~IEventLoop() = default;
  // Handles the window messages waiting in the queue, then returns.
  virtual void ProcessMessages() = 0;
  // Calls `callback` once, `milliseconds` from now, from the loop.
  virtual TimerId StartTimer(int milliseconds, std::function<void()> callback) = 0;
  virtual void CancelTimer(TimerId id) = 0;
  // Queues a window message: `message` runs later on the loop's thread.
  virtual void Post(std::function<void()> message) = 0;
};

// The application's system menu (on this system, the tray icon's menu).
class ISystemMenu {
 public:
  virtual ~ISystemMenu() = default;
  // Replaces the text of the item with the given command id.
  virtual void ModifyItem(unsigned commandId, const std::string& text) = 0;
};

}  // namespace kelvo
