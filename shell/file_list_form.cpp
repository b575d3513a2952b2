#include "shell/file_list_form.h"

#include "core/text.h"
#include "settings/settings_store.h"

namespace kelvo {

const std::vector<TFileFilter>& AudioFilter() {
  static const std::vector<TFileFilter> filter{
      {"オーディオファイル(*.wav;*.mid;*.mp?;*.avi)", "*.wav;*.mid;*.mp?;*.avi"},
      {"オーディオファイル(*.wav;*.mid)", "*.wav;*.mid"},
      {"WAVEファイル(*.wav)", "*.wav"},
      {"MIDIファイル(*.mid)", "*.mid"},
      {"MPEGファイル(*.mpg;*.mp2;*.mp3)", "*.mpg;*.mp2;*.mp3"},
      {"AVIファイル(*.avi)", "*.avi"},
      {"すべてのファイル(*.*)", "*.*"},
  };
  return filter;
}

const std::vector<TFileFilter>& PlayListFilter() {
  static const std::vector<TFileFilter> filter{
      {"演奏リスト(*.ini)", "*.ini"},
      {"全ファイル(*.*)", "*.*"},
  };
  return filter;
}

bool IsPlayListFileName(const std::string& name) {
  const auto n = name.size();
  return n >= 5 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'i' &&
         (name[n - 2] | 0x20) == 'n' && (name[n - 1] | 0x20) == 'i';
}

std::string AboutText() {
  return "kelvo 0.1.0\n"
         "MIDI・WAVE・MP3・AVI ファイルの演奏リストを順に、またはシャッフルして演奏します。\n"
         "Copyright (C) 2026 kelvo の開発チーム";
}

TFileListForm::TFileListForm(IFormView& view, IEventLoop& loop, IMediaDevice& device,
                             ISystemMenu& systemMenu, IFileDialogs& dialogs,
                             RegistryFactory createRegistry)
    : TPlaybackForm(view, loop, device, systemMenu),
      dialogs_(dialogs),
      createRegistry_(std::move(createRegistry)) {}

TFileListForm::~TFileListForm() = default;

void TFileListForm::LoadSettings() {
  ::kelvo::LoadSettings(*this, view_, createRegistry_);
}

void TFileListForm::SaveSettings() {
  ::kelvo::SaveSettings(*this, view_, createRegistry_);
}

bool TFileListForm::FormClose() {
  if (!TPlaybackForm::FormClose()) return false;
  CancelRetry();
  return true;
}

// ---------------------------------------------------------------- file dialogs

bool TFileListForm::ExecuteOpenDialog(TOpenDialog& dialog) {
  TDialogRequest request;
  request.Title = dialog.Title;
  request.Filters = dialog.DefaultExt.empty() ? AudioFilter() : PlayListFilter();
  request.DefaultExt = dialog.DefaultExt;
  request.InitialDir = dialog.InitialDir;
  request.MultiSelect = dialog.AllowMultiSelect;
  request.MustExist = true;
  auto chosen = dialogs_.RunOpen(request);
  if (!chosen || chosen->empty()) return false;
  dialog.Files.clear();
  if (!dialog.AllowMultiSelect) {
    dialog.InitialDir = DirectoryOf(chosen->front());
    dialog.FileName = chosen->front();
    return true;
  }
  // Every chosen file is taken, however many there are.
  dialog.InitialDir = DirectoryOf(chosen->front());
  dialog.Files = std::move(*chosen);
  return true;
}

bool TFileListForm::ExecuteSaveDialog(TSaveDialog& dialog) {
  TDialogRequest request;
  request.Title = dialog.Title;
  request.Filters = PlayListFilter();
  request.DefaultExt = dialog.DefaultExt;
  request.InitialDir = dialog.InitialDir;
  request.ProposedName = "newname.ini";
  const auto chosen = dialogs_.RunSave(request);
  if (!chosen || chosen->empty()) return false;
  dialog.InitialDir = DirectoryOf(*chosen);
  dialog.FileName = *chosen;
  return true;
}

void TFileListForm::ButtonAddClick() {
  if (ExecuteOpenDialog(OpenDialog)) {
    ListUpdate batch(PlayList);
    int point = InsertionPoint();
    for (const auto& path : OpenDialog.Files) InsertEntry(point, path);
  }
  ShowEntryCount();
  view_.FocusPlayList();
}

void TFileListForm::AddFiles(const std::vector<std::string>& paths) {
  int first = -1;
  {
    ListUpdate batch(PlayList);
    int point = InsertionPoint();
    for (const auto& path : paths) {
      if (path.empty()) continue;
      if (first < 0) first = point;
      InsertEntry(point, path);
    }
  }
  ShowEntryCount();
  if (first >= 0 && !Playing) {
    PlayList.SetRow(first);
    PlaySelected();
  }
}

void TFileListForm::OpenMenuClick() {
  if (!ExecuteOpenDialog(plOpenDialog)) return;
  SetListFileName(plOpenDialog.FileName);
  LoadPlayList(ListFileName, true);
}

void TFileListForm::SaveMenuClick() {
  if (ListFileName.empty()) {
    SaveAsMenuClick();
  } else {
    SavePlayList(ListFileName);
  }
}

void TFileListForm::SaveAsMenuClick() {
  if (plSaveDialog.InitialDir.empty()) plSaveDialog.InitialDir = plOpenDialog.InitialDir;
  if (!ExecuteSaveDialog(plSaveDialog)) return;
  SetListFileName(plSaveDialog.FileName);
  SavePlayList(ListFileName);
}

// ---------------------------------------------------------------- keys

void TFileListForm::PlayListKeyDown(std::uint16_t& key) {
  if (key == VK_DELETE) {
    ButtonRemoveClick();
    key = 0;
  } else if (key == VK_INSERT) {
    ButtonAddClick();
    key = 0;
  }
}

void TFileListForm::PlayListKeyPress(char& key) {
  switch (key) {
    case '\r':
      PlaySelected();
      break;
    case 'A':
    case '+':
      ButtonAddClick();
      break;
    case 'D':
    case '-':
      ButtonRemoveClick();
      break;
    case 'B':
      ButtonUpClick();
      break;
    case 'N':
      ButtonDownClick();
      break;
    case 'P':
      ButtonPlayClick();
      break;
    case 'S':
      ButtonStopClick();
      break;
    case 'T':
    case ' ':
      ButtonPlayNextClick();
      break;
    case 'O':
      OpenMenuClick();
      break;
    default:
      return;  // left to the grid
  }
  key = 0;
}

// ---------------------------------------------------------------- options

void TFileListForm::RandomMenuClick() {
  RandomMenu.Checked = !RandomMenu.Checked;
  if (!RandomMenu.Checked) ClearMarks();
  view_.Changed(FormElement::Options);
}

void TFileListForm::RepeatMenuClick() {
  RepeatMenu.Checked = !RepeatMenu.Checked;
  view_.Changed(FormElement::Options);
}

void TFileListForm::StatusBarMenuClick() {
  StatusBarMenu.Checked = !StatusBarMenu.Checked;
  view_.Changed(FormElement::Options);
  view_.SetStatusBarVisible(StatusBarMenu.Checked);
}

void TFileListForm::WindowPosMenuClick() {
  WindowPosMenu.Checked = !WindowPosMenu.Checked;
  view_.Changed(FormElement::Options);
}

void TFileListForm::InsertModeMenuClick() {
  InsertModeMenu.Checked = !InsertModeMenu.Checked;
  view_.Changed(FormElement::Options);
}

void TFileListForm::AboutMenuClick() {
  view_.MessageBox(AboutText(), std::string(kAppTitle), 0);
}

// ---------------------------------------------------------------- window messages

bool TFileListForm::Dispatch(TMessage& message) {
  if (message.Msg == WM_DROPFILES) {
    WMDropFiles(message);
  } else if (message.Msg == WM_GETMINMAXINFO) {
    WMGetMinMaxInfo(message);
  } else if (message.Msg == WM_MOUSEWHEEL) {
    WMMouseWheel(message);
  } else if (message.Msg == WheelMessage && WheelMessage != 0) {
    WMWheelRoll(message);
  } else {
    return false;
  }
  return true;
}

void TFileListForm::WMDropFiles(TMessage& message) {
  auto* drop = reinterpret_cast<IDropHandle*>(message.WParam);
  if (drop == nullptr) return;
  if (dropping_) {
    // No further drop while one is handled (a box of it may be open).
    drop->Finish();
    return;
  }
  dropping_ = true;
  view_.DragAcceptFiles(false);
  const int count = drop->Count();
  int point = InsertionPoint();
  const int selected = PlayList.Row();
  for (int i = 0; i < count; ++i) {
    const std::string name = drop->Name(i);
    if (IsPlayListFileName(name)) {
      if (PlayList.RowCount() < 2 || PlayList.Path(1).empty()) SetListFileName(name);
      PlayList.SetRow(point < PlayList.RowCount() ? point : PlayList.RowCount() - 1);
      int inserted = 0;
      LoadPlayList(name, false, &inserted);
      point += inserted;
    } else {
      InsertEntry(point, name);
    }
  }
  if (selected > 0) PlayList.SetRow(selected);
  drop->Finish();
  view_.DragAcceptFiles(true);
  dropping_ = false;
  ShowEntryCount();
  message.Result = 0;
}

void TFileListForm::WMGetMinMaxInfo(TMessage& message) {
  auto* info = reinterpret_cast<TMinMaxInfo*>(message.LParam);
  if (info != nullptr) {
    info->MinTrackWidth = 165;
    info->MinTrackHeight = 160;
  }
  message.Result = 0;
}

void TFileListForm::Wheel(std::int32_t distance, TMessage& message) {
  if (distance > 0) {
    if (PlayList.TopRow() > 0) PlayList.SetTopRow(PlayList.TopRow() - 1);
    message.Result = 0;
  } else if (distance < 0) {
    if (PlayList.TopRow() + PlayList.VisibleRowCount() < PlayList.RowCount())
      PlayList.SetTopRow(PlayList.TopRow() + 1);
    message.Result = 0;
  }
}

void TFileListForm::WMMouseWheel(TMessage& message) {
  Wheel(static_cast<std::int16_t>((message.WParam >> 16) & 0xFFFF), message);
}

void TFileListForm::WMWheelRoll(TMessage& message) {
  Wheel(static_cast<std::int32_t>(message.WParam & 0xFFFFFFFFu), message);
}

// ---------------------------------------------------------------- system menu

bool TFileListForm::AppWndProc(unsigned message, std::uintptr_t wParam) {
  if (message != WM_SYSCOMMAND) return false;
  switch (wParam & ~std::uintptr_t{0xF}) {
    case SC_PLAYSTOP:
      Guarded([&] { ButtonPlayStopClick(); });
      return true;
    case SC_PLAYNEXT:
      Guarded([&] { ButtonPlayNextClick(); });
      return true;
    default:
      return false;
  }
}

}  // namespace kelvo
