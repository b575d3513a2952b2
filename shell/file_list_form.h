#pragma once
// The player as the window sees it: every command, key, option toggle, file
// dialog and window message of the main window. Plain C++; the Qt window
// forwards each user event to the handler of the same name.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "playback/playback_control.h"
#include "settings/registry.h"

namespace kelvo {

// ---------------------------------------------------------------- file dialogs

// One filter: display text and patterns ("*.wav;*.mid").
using TFileFilter = std::pair<std::string, std::string>;

struct TOpenDialog {
  std::string Title;
  std::string DefaultExt;
  bool AllowMultiSelect = false;
  std::string InitialDir;
  std::string FileName;
  std::vector<std::string> Files;
};

struct TSaveDialog {
  std::string Title;
  std::string DefaultExt;
  std::string InitialDir;
  std::string FileName;
};

// What a file dialog is asked to show.
struct TDialogRequest {
  std::string Title;
  std::vector<TFileFilter> Filters;
  std::string DefaultExt;  // added to a typed name without extension
  std::string InitialDir;  // empty: the system chooses
  std::string ProposedName;
  bool MultiSelect = false;
  bool MustExist = false;
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // The chosen files as full paths in the order the dialog gives them, or
  // nothing when cancelled.
  virtual std::optional<std::vector<std::string>> RunOpen(const TDialogRequest& request) = 0;
  // The chosen full path, or nothing when cancelled.
  virtual std::optional<std::string> RunSave(const TDialogRequest& request) = 0;
};

const std::vector<TFileFilter>& AudioFilter();
const std::vector<TFileFilter>& PlayListFilter();

// ---------------------------------------------------------------- window messages

inline constexpr unsigned WM_GETMINMAXINFO = 0x24;
inline constexpr unsigned WM_SYSCOMMAND = 0x112;
inline constexpr unsigned WM_DROPFILES = 0x233;
inline constexpr unsigned WM_MOUSEWHEEL = 0x20A;

struct TMessage {
  unsigned Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

// Files dropped on the window; WM_DROPFILES carries its address in WParam.
class IDropHandle {
 public:
  virtual ~IDropHandle() = default;
  virtual int Count() const = 0;
  // The i-th name as the file system's bytes.
  virtual std::string Name(int index) const = 0;
  // Releases the drop.
  virtual void Finish() = 0;
};

// WM_GETMINMAXINFO carries the address of this in LParam.
struct TMinMaxInfo {
  int MinTrackWidth = 0;
  int MinTrackHeight = 0;
};

// ---------------------------------------------------------------- keys

inline constexpr std::uint16_t VK_INSERT = 0x2D;
inline constexpr std::uint16_t VK_DELETE = 0x2E;

// ---------------------------------------------------------------- the player

class TFileListForm : public TPlaybackForm {
 public:
  TFileListForm(IFormView& view, IEventLoop& loop, IMediaDevice& device, ISystemMenu& systemMenu,
                IFileDialogs& dialogs, RegistryFactory createRegistry);
  ~TFileListForm() override;

  TOpenDialog OpenDialog{"演奏するファイルの選択", "", true, "", "", {}};
  TOpenDialog plOpenDialog{"演奏リストの読み込み", "ini", false, "", "", {}};
  TSaveDialog plSaveDialog{"演奏リストの保存", "ini", "", ""};

  bool ExecuteOpenDialog(TOpenDialog& dialog);
  bool ExecuteSaveDialog(TSaveDialog& dialog);

  void ButtonAddClick();
  // Media files handed over from outside (a file manager, another kelvo):
  // added as the Add command adds the files chosen in its dialog; when
  // nothing plays, the first of them starts.
  void AddFiles(const std::vector<std::string>& paths);
  void OpenMenuClick();
  void SaveMenuClick();
  void SaveAsMenuClick();

  // Key codes and characters of the play list; a handled key becomes 0.
  void PlayListKeyDown(std::uint16_t& key);
  void PlayListKeyPress(char& key);

  void RandomMenuClick();
  void RepeatMenuClick();
  void StatusBarMenuClick();
  void WindowPosMenuClick();
  void InsertModeMenuClick();
  void AboutMenuClick();

  // The window's own messages; false when the message is not one of them
  // and goes to the default handling.
  bool Dispatch(TMessage& message);
  void WMDropFiles(TMessage& message);
  void WMGetMinMaxInfo(TMessage& message);
  void WMMouseWheel(TMessage& message);
  void WMWheelRoll(TMessage& message);

  // Saves the settings; false keeps the window open. A close that goes
  // ahead ends a retry of the chain.
  bool FormClose() override;

  // The application window's hook: WM_SYSCOMMAND 1984-1999 plays or stops,
  // 2000-2015 plays the next entry. False for every other message.
  bool AppWndProc(unsigned message, std::uintptr_t wParam);

 protected:
  void LoadSettings() override;
  void SaveSettings() override;

 private:
  void Wheel(std::int32_t distance, TMessage& message);

  IFileDialogs& dialogs_;
  RegistryFactory createRegistry_;
  bool dropping_ = false;
};

// A dropped name is a play-list file when it is at least 5 bytes long and
// ends in ".ini" in any mix of cases.
bool IsPlayListFileName(const std::string& name);

// The About box's text.
std::string AboutText();

}  // namespace kelvo
