#include "core/player_core.h"

#include <utility>

#include "core/play_list_file.h"
#include "core/random.h"
#include "core/text.h"

namespace kelvo {

TPlayerCore::TPlayerCore(IFormView& view, IEventLoop& loop) : view_(view), loop_(loop) {}

void TPlayerCore::SetCaption(TLabel& label, FormElement element, std::string caption) {
  label.Caption = std::move(caption);
  view_.Changed(element);
}

void TPlayerCore::SetTitle(std::string title) {
  Title = std::move(title);
  view_.Changed(FormElement::Title);
}

void TPlayerCore::ShowError(const TLibraryError& error) {
  view_.MessageBox(error.what(), Title, MB_OK | MB_ICONSTOP);
}

// ---------------------------------------------------------------- start-up

void TPlayerCore::FormCreate(const std::vector<std::string>& args) {
  Guarded([&] { RunCreationSteps(args); });
}

void TPlayerCore::RunCreationSteps(const std::vector<std::string>& args) {
  WheelMessage = view_.RegisterWindowMessage("MSWHEEL_ROLLMSG");
  SetCaption(CurrentFileName, FormElement::CurrentFileName, "");
  Playing = false;
  ListFileName.clear();
  SetCaption(Nameoflist, FormElement::Nameoflist, "");
  SeedRandom(TimeOfDayMs ? TimeOfDayMs() : MillisecondsSinceLocalMidnight());
  view_.InstallHintHandler();
  view_.DragAcceptFiles(true);
  SetMediaTimeFormat();
  LoadSettings();

  PlayList.Reset();
  for (const auto& arg : args) LoadPlayList(arg, false);
  if (PlayList.Path(0).empty()) return;

  if (args.size() == 1) SetListFileName(args.front());
  if (RandomMenu.Checked) {
    PlayNextEntry(false);
  } else {
    PlaySelected();
  }
}

void TPlayerCore::FormShow() {
  auto placement = view_.Placement();
  const auto before = placement;
  if (placement.Top >= view_.ScreenHeight() - 64 || placement.Top < -8) placement.Top = 64;
  if (placement.Left >= view_.ScreenWidth() - 64 || placement.Left < -64) placement.Left = 64;
  if (placement != before) view_.SetPlacement(placement);
  const int fontHeight = view_.PlayListFontHeight();
  view_.SetDefaultRowHeight((fontHeight < 0 ? -fontHeight : fontHeight) + 2);
}

bool TPlayerCore::FormClose() {
  return Guarded([&] { SaveSettings(); });
}

void TPlayerCore::DisplayHint(const std::string& hint) {
  StatusLineText = hint;
  view_.Changed(FormElement::StatusLine);
}

// ---------------------------------------------------------------- play list

void TPlayerCore::ShowEntryCount() {
  SetCaption(NumberofList, FormElement::NumberofList,
             CountText(PlayList.IsEmpty(), PlayList.RowCount()));
}

void TPlayerCore::ButtonRemoveClick() {
  PlayList.RemoveRow(PlayList.Row());
  ShowEntryCount();
  view_.FocusPlayList();
}

void TPlayerCore::ButtonUpClick() {
  const int row = PlayList.Row();
  if (row > 0) {
    PlayList.SwapRows(row - 1, row);
    PlayList.SetRow(row - 1);
  }
  view_.FocusPlayList();
}

void TPlayerCore::ButtonDownClick() {
  const int row = PlayList.Row();
  if (row >= 0 && PlayList.RowCount() >= 2 && row + 1 < PlayList.RowCount()) {
    PlayList.SwapRows(row, row + 1);
    PlayList.SetRow(row + 1);
  }
  view_.FocusPlayList();
}

void TPlayerCore::ClearMenuClick() {
  if (!PlayList.IsEmpty()) {
    const int answer = view_.MessageBox("演奏リストをクリアしてもいいですか？", "クリアの確認",
                                        MB_OKCANCEL | MB_ICONEXCLAMATION);
    if (answer == IDOK) {
      PlayList.Reset();
      ShowEntryCount();
    }
  }
  view_.FocusPlayList();
}

// ---------------------------------------------------------------- play-list files

void TPlayerCore::SetListFileName(const std::string& path) {
  ListFileName = path;
  Nameoflist.Hint = path;
  SetCaption(Nameoflist, FormElement::Nameoflist, FileNamePart(path));
}

bool TPlayerCore::LoadPlayList(const std::string& path, bool replace, int* inserted) {
  int count = 0;
  bool opened = false;
  {
    ListUpdate batch(PlayList);
    // The list is emptied only once the file is known to open, and the
    // insertion point is taken after that.
    int point = 0;
    bool started = false;
    opened = ReadPlayListFile(path, [&](std::string_view entry) {
      if (!started) {
        started = true;
        if (replace) PlayList.Reset();
        point = InsertionPoint();
      }
      InsertEntry(point, std::string(entry));
      ++count;
    });
    if (opened && !started && replace) PlayList.Reset();
  }
  if (inserted) *inserted = count;
  if (!opened) {
    view_.MessageBox("演奏リストファイル[" + path + "]がオープンできません。",
                     std::string(kAppTitle), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  ShowEntryCount();
  return true;
}

bool TPlayerCore::SavePlayList(const std::string& path) {
  const auto pathAt = [&](int row) { return PlayList.Path(row); };
  const std::string cannotCreate = "演奏リストファイル[" + path + "]を作成できません。";
  // A file that would read back as another list is not written at all.
  if (const auto row = UnstorableEntry(PlayList.RowCount(), pathAt)) {
    view_.MessageBox(cannotCreate + "\n" + std::to_string(*row + 1) +
                         " 曲目のファイル名は演奏リストファイルに正しく保存できません"
                         "（改行などの制御文字を含むか、長すぎます）。\n" +
                         PrintableName(PlayList.Path(*row)),
                     std::string(kAppTitle), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  const bool written = WritePlayListFile(path, PlayList.RowCount(), pathAt);
  if (!written) view_.MessageBox(cannotCreate, std::string(kAppTitle), MB_OK | MB_ICONEXCLAMATION);
  return written;
}

// ---------------------------------------------------------------- track selection

bool TPlayerCore::PlaySelected() {
  const int row = PlayList.Row();
  const std::string path(PlayList.Path(row));
  if (path.empty()) return false;
  if (RandomMenu.Checked) PlayList.SetMark(row, true);
  return PlayFile(path);
}

bool TPlayerCore::PlayNextEntry(bool force) {
  if (RandomMenu.Checked) return PlayNextShuffled(force);
  const int n = PlayList.RowCount();
  const int selected = PlayList.Row();
  int r = 0;
  if (selected < n - 1) {
    r = selected + 1;
  } else if (RepeatMenu.Checked || force) {
    r = 0;
  } else {
    return false;
  }
  PlayList.SetRow(r);
  return PlaySelected();
}

bool TPlayerCore::PlayNextShuffled(bool force) {
  const int n = PlayList.RowCount();
  const int selectedAtCall = PlayList.Row();
  const auto draw = [n] { return NextRandom() % n; };

  // Up to 2N draws for an unmarked row; the last draw is taken as it is.
  // While nothing is marked the first draw always stands.
  int r = 0;
  for (int budget = 2 * n;;) {
    r = draw();
    if (--budget <= 0 || !PlayList.IsMarked(r)) break;
  }
  // Walk forward to the first unmarked row, wrapping; stays put when none is.
  if (PlayList.IsMarked(r)) {
    const int unmarked = PlayList.NextUnmarked(r + 1);
    if (unmarked >= 0) r = unmarked;
  }
  // The pass ends when every row is marked.
  if (PlayList.IsMarked(r)) {
    ClearMarks();
    if (!RepeatMenu.Checked && !force) return false;
    // First row of the new pass: for up to N draws avoid the row selected
    // when this call began.
    for (int budget = n;;) {
      r = draw();
      if (--budget <= 0 || n <= 1 || r != selectedAtCall) break;
    }
  }
  PlayList.SetRow(r);
  return PlaySelected();
}

}  // namespace kelvo
