#include "shell/file_list_form.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_view.h"
#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/scripted_dialogs.h"
#include "fakes/temp_dir.h"

namespace kelvo {
namespace {

using Paths = std::vector<std::string>;

using testing::ScriptedDialogs;
using DropHandle = testing::ListDropHandle;

class FormTest : public ::testing::Test {
 protected:
  FormTest()
      : device(loop),
        form(view, loop, device, menu, dialogs, testing::MemoryRegistry::Factory(store)) {
    form.RandomMenu.Checked = false;
  }
  void SetRows(const Paths& paths) {
    form.PlayList.Reset();
    int point = 0;
    for (const auto& p : paths) form.PlayList.InsertEntry(point, p, false);
  }
  Paths Rows() const {
    Paths rows;
    for (int r = 0; r < form.PlayList.RowCount(); ++r) rows.emplace_back(form.PlayList.Path(r));
    return rows;
  }
  void Drop(const Paths& names) {
    DropHandle handle(names);
    TMessage message{WM_DROPFILES, reinterpret_cast<std::uintptr_t>(&handle)};
    EXPECT_TRUE(form.Dispatch(message));
    EXPECT_EQ(handle.finished, 1);
  }
  std::string List(const std::string& name, const std::string& body) {
    return dir.Write(name, "[zododizuza]\r\n" + body);
  }

  testing::TempDir dir;
  std::shared_ptr<testing::MemoryStore> store = std::make_shared<testing::MemoryStore>();
  testing::FakeView view;
  testing::FakeEventLoop loop;
  testing::FakeSystemMenu menu;
  testing::ScriptedDevice device;
  ScriptedDialogs dialogs;
  TFileListForm form;
};

TEST_F(FormTest, KeysActOnTheListInUpperCaseOnly) {
  SetRows({"/a", "/b", "/c"});
  form.PlayList.SetRow(1);
  struct Case {
    char key;
    bool handled;
  } cases[] = {{'a', false}, {'d', false}, {'x', false}, {'B', true}, {'N', true}};
  for (const auto& c : cases) {
    char key = c.key;
    form.PlayListKeyPress(key);
    EXPECT_EQ(key == 0, c.handled) << c.key;
  }
  EXPECT_EQ(Rows(), Paths({"/a", "/b", "/c"}));  // B then N: up and back down
  EXPECT_EQ(form.PlayList.Row(), 1);

  char key = 'D';
  form.PlayListKeyPress(key);
  EXPECT_EQ(Rows(), Paths({"/a", "/c"}));
  key = '-';
  form.PlayListKeyPress(key);
  EXPECT_EQ(Rows(), Paths({"/a"}));

  dialogs.answers = {Paths{"/new1"}, Paths{"/new2"}, Paths{"/new3"}};
  for (char add : {'A', '+'}) {
    key = add;
    form.PlayListKeyPress(key);
  }
  std::uint16_t vk = VK_INSERT;
  form.PlayListKeyDown(vk);
  EXPECT_EQ(vk, 0);
  EXPECT_EQ(Rows(), Paths({"/a", "/new1", "/new2", "/new3"}));
  vk = VK_DELETE;
  form.PlayListKeyDown(vk);
  EXPECT_EQ(form.PlayList.RowCount(), 3);
  vk = 0x25;  // an arrow key is the grid's
  form.PlayListKeyDown(vk);
  EXPECT_EQ(vk, 0x25);
}

TEST_F(FormTest, EnterOnAnEmptyRowPlaysNothing) {
  form.RandomMenu.Checked = true;
  SetRows({"/a", ""});
  form.PlayList.SetRow(1);
  char key = '\r';
  form.PlayListKeyPress(key);
  EXPECT_EQ(key, 0);
  EXPECT_TRUE(device.commands.empty());
  EXPECT_FALSE(form.PlayList.IsMarked(1));
}

TEST_F(FormTest, PlaybackKeys) {
  SetRows({"/a", "/b"});
  char key = 'P';
  form.PlayListKeyPress(key);
  key = 'T';
  form.PlayListKeyPress(key);
  key = ' ';
  form.PlayListKeyPress(key);
  key = 'S';
  form.PlayListKeyPress(key);
  EXPECT_EQ(device.commands, Paths({"Open /a", "Play /a", "Stop", "Open /b", "Play /b", "Stop",
                                    "Open /a", "Play /a", "Stop", "Close"}));
  EXPECT_FALSE(form.Playing);
}

TEST_F(FormTest, AddCancelledStillRefreshesTheCountAndFocus) {
  form.PlayList.Reset();
  form.ButtonAddClick();
  EXPECT_EQ(form.NumberofList.Caption, "0 曲");
  EXPECT_EQ(view.focusCount, 1);
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_EQ(dialogs.requests[0].Title, "演奏するファイルの選択");
  EXPECT_TRUE(dialogs.requests[0].MultiSelect);
  EXPECT_EQ(dialogs.requests[0].Filters.size(), 7u);
  EXPECT_EQ(dialogs.requests[0].Filters[0].second, "*.wav;*.mid;*.mp?;*.avi");
}

TEST_F(FormTest, AddInsertsEveryChosenFileAtTheInsertionPoint) {
  SetRows({"/a", "/b"});
  form.PlayList.SetRow(1);
  form.InsertModeMenu.Checked = true;
  dialogs.answers = {Paths{"/d/x.mid", "/d/y.mid"}};
  form.ButtonAddClick();
  EXPECT_EQ(Rows(), Paths({"/a", "/d/x.mid", "/d/y.mid", "/b"}));
  EXPECT_EQ(form.NumberofList.Caption, "4 曲");
  EXPECT_EQ(form.OpenDialog.InitialDir, "/d");
  dialogs.answers = {Paths{"/e/z.mid"}};
  form.ButtonAddClick();
  EXPECT_EQ(dialogs.requests[1].InitialDir, "/d");
}

// Files handed over from a file manager go where the Add command puts its
// files; the first of them plays when nothing plays, and only then.
TEST_F(FormTest, FilesFromOutsideAreAddedAndTheFirstPlaysWhenNothingPlays) {
  struct Case {
    bool insertMode;
    bool playing;
    Paths rows;
    int playedRow;  // -1: nothing starts
  } cases[] = {
      {false, false, {"/a", "/b", "/n/x.mid", "/n/y.wav"}, 2},
      {true, false, {"/a", "/n/x.mid", "/n/y.wav", "/b"}, 1},
      {false, true, {"/a", "/b", "/n/x.mid", "/n/y.wav"}, -1},
  };
  for (const auto& c : cases) {
    SetRows({"/a", "/b"});
    form.PlayList.SetRow(1);
    form.InsertModeMenu.Checked = c.insertMode;
    if (c.playing) form.PlaySelected();
    device.commands.clear();
    form.AddFiles({"/n/x.mid", "/n/y.wav"});
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_EQ(form.NumberofList.Caption, "4 曲");
    if (c.playedRow < 0) {
      EXPECT_TRUE(device.commands.empty());
    } else {
      EXPECT_EQ(form.PlayList.Row(), c.playedRow);
      EXPECT_EQ(device.commands, Paths({"Open /n/x.mid", "Play /n/x.mid"}));
    }
    form.ButtonStopClick();
  }
  // Into an empty list: the empty row is filled first.
  form.PlayList.Reset();
  form.AddFiles({"/only.wav"});
  EXPECT_EQ(Rows(), Paths({"/only.wav"}));
  EXPECT_TRUE(form.Playing);
}

TEST_F(FormTest, OpenNamesTheListBeforeReadingIt) {
  SetRows({"/old"});
  const auto good = List("good.ini", "/g1\r\n/g2\r\n");
  dialogs.answers = {Paths{good}, Paths{dir.File("gone.ini")}};
  form.OpenMenuClick();
  EXPECT_EQ(Rows(), Paths({"/g1", "/g2"}));
  EXPECT_EQ(form.ListFileName, good);
  EXPECT_EQ(form.Nameoflist.Caption, "good.ini");
  EXPECT_EQ(dialogs.requests[0].Title, "演奏リストの読み込み");
  EXPECT_EQ(dialogs.requests[0].DefaultExt, "ini");
  EXPECT_FALSE(dialogs.requests[0].MultiSelect);
  EXPECT_EQ(dialogs.requests[0].Filters, PlayListFilter());

  form.OpenMenuClick();  // a file that vanished between the dialog and the read
  EXPECT_EQ(Rows(), Paths({"/g1", "/g2"}));
  EXPECT_EQ(form.ListFileName, dir.File("gone.ini"));
  EXPECT_EQ(form.Nameoflist.Caption, "gone.ini");
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.focusCount, 0);
}

TEST_F(FormTest, SaveRunsSaveAsUntilTheListHasAFile) {
  SetRows({"/a"});
  const auto opened = List("opened.ini", "/x\r\n");
  dialogs.answers = {Paths{opened}};
  form.OpenMenuClick();
  form.ListFileName.clear();
  const auto target = dir.File("saved.ini");
  dialogs.answers = {Paths{target}};
  form.SaveMenuClick();
  ASSERT_EQ(dialogs.requests.size(), 2u);
  EXPECT_EQ(dialogs.requests[1].Title, "演奏リストの保存");
  EXPECT_EQ(dialogs.requests[1].ProposedName, "newname.ini");
  EXPECT_EQ(dialogs.requests[1].InitialDir, dir.Path().string());  // taken over from Open
  EXPECT_EQ(form.ListFileName, target);
  EXPECT_EQ(testing::TempDir::Read(target), "[zododizuza]\r\n/x\r\n");

  form.PlayList.SetPath(0, "/y");
  form.SaveMenuClick();  // straight to the file, no dialog
  EXPECT_EQ(dialogs.requests.size(), 2u);
  EXPECT_EQ(testing::TempDir::Read(target), "[zododizuza]\r\n/y\r\n");
}

TEST_F(FormTest, DropOfMediaFilesFollowsTheInsertionMode) {
  form.PlayList.Reset();
  Drop({"/m/1.mid", "/m/2.wav", "/m/3.mp3"});
  EXPECT_EQ(Rows(), Paths({"/m/1.mid", "/m/2.wav", "/m/3.mp3"}));
  EXPECT_EQ(form.NumberofList.Caption, "3 曲");
  EXPECT_TRUE(view.acceptingDrops);

  SetRows({"r0", "r1", "r2", "r3", "r4"});
  form.PlayList.SetRow(2);
  form.InsertModeMenu.Checked = true;
  Drop({"x", "y"});
  EXPECT_EQ(Rows(), Paths({"r0", "r1", "x", "y", "r2", "r3", "r4"}));
  EXPECT_EQ(form.PlayList.Row(), 2);
  EXPECT_TRUE(device.commands.empty());  // a drop starts nothing
  EXPECT_EQ(view.focusCount, 0);
}

TEST_F(FormTest, PlayListFilesAreRecognisedByTheirEnding) {
  const auto list = List("L.InI", "/from/list\r\n");
  struct Case {
    std::string name;
    bool isList;
  } cases[] = {{list, true},
               {dir.File("a.ini.mid"), false},
               {".ini", false},
               {dir.File("x.INI"), true},
               {"a.ini", true}};
  for (const auto& c : cases) {
    form.PlayList.Reset();
    view.boxes.clear();
    Drop({c.name});
    const bool readAsList = Rows() == Paths({"/from/list"}) || !view.boxes.empty();
    EXPECT_EQ(readAsList, c.isList) << c.name;
  }
}

TEST_F(FormTest, DroppedListNamesTheListOnlyOnAShortList) {
  const auto list = List("three.ini", "/l1\r\n/l2\r\n/l3\r\n");
  form.PlayList.Reset();
  Drop({list, "/media.mid"});
  EXPECT_EQ(Rows(), Paths({"/l1", "/l2", "/l3", "/media.mid"}));
  EXPECT_EQ(form.ListFileName, list);
  EXPECT_EQ(form.Nameoflist.Caption, "three.ini");

  SetRows({"/one"});
  form.ListFileName.clear();
  Drop({list});
  EXPECT_EQ(form.ListFileName, list);

  SetRows({"/one", "/two"});
  form.ListFileName = "/kept.ini";
  Drop({list});
  EXPECT_EQ(form.ListFileName, "/kept.ini");
}

TEST_F(FormTest, DroppedListSelectionIsRestoredUnlessItWasRowZero) {
  const auto list = List("two.ini", "/l1\r\n/l2\r\n");
  SetRows({"/a", "/b", "/c"});
  form.PlayList.SetRow(0);
  Drop({list});
  EXPECT_EQ(Rows(), Paths({"/a", "/b", "/c", "/l1", "/l2"}));
  EXPECT_EQ(form.PlayList.Row(), 2);  // the former last row

  SetRows({"/a", "/b", "/c"});
  form.PlayList.SetRow(1);
  Drop({list});
  EXPECT_EQ(form.PlayList.Row(), 1);

  SetRows({"/a", "/b", "/c"});
  form.PlayList.SetRow(1);
  form.InsertModeMenu.Checked = true;
  Drop({list, "/m"});
  EXPECT_EQ(Rows(), Paths({"/a", "/l1", "/l2", "/m", "/b", "/c"}));
}

TEST_F(FormTest, NoDropWhileADropIsHandled) {
  form.PlayList.Reset();
  const auto missing = dir.File("missing.ini");
  view.onMessageBox = [&] {
    EXPECT_FALSE(view.acceptingDrops);
    DropHandle inner({"/inner"});
    TMessage message{WM_DROPFILES, reinterpret_cast<std::uintptr_t>(&inner)};
    form.Dispatch(message);
    EXPECT_EQ(inner.finished, 1);
  };
  Drop({missing, "/after"});
  EXPECT_EQ(Rows(), Paths({"/after"}));
  EXPECT_TRUE(view.acceptingDrops);
}

TEST_F(FormTest, WheelMovesTheViewOneRowPerMessage) {
  SetRows({"0", "1", "2", "3", "4", "5"});
  form.PlayList.SetVisibleRowCount(4);
  auto wheel = [&](int delta) {
    TMessage message{WM_MOUSEWHEEL,
                     static_cast<std::uintptr_t>(static_cast<std::uint16_t>(delta)) << 16, 0, -1};
    form.Dispatch(message);
    return message.Result;
  };
  EXPECT_EQ(wheel(120), 0);  // at the top
  EXPECT_EQ(form.PlayList.TopRow(), 0);
  wheel(-120 * 5);
  EXPECT_EQ(form.PlayList.TopRow(), 1);
  wheel(-120);
  EXPECT_EQ(form.PlayList.TopRow(), 2);
  wheel(-120);  // the last row is shown: no further
  EXPECT_EQ(form.PlayList.TopRow(), 2);
  EXPECT_EQ(wheel(0), -1);  // no distance: nothing at all
  wheel(120);
  EXPECT_EQ(form.PlayList.TopRow(), 1);
  EXPECT_EQ(form.PlayList.Row(), 0);  // the selection does not move

  form.FormCreate({});
  SetRows({"0", "1", "2", "3", "4", "5"});
  TMessage roll{form.WheelMessage, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(-3))};
  EXPECT_TRUE(form.Dispatch(roll));
  EXPECT_EQ(form.PlayList.TopRow(), 1);
}

TEST_F(FormTest, SmallestWindow) {
  TMinMaxInfo info{10, 10};
  TMessage message{WM_GETMINMAXINFO, 0, reinterpret_cast<std::intptr_t>(&info)};
  EXPECT_TRUE(form.Dispatch(message));
  EXPECT_EQ(info.MinTrackWidth, 165);
  EXPECT_EQ(info.MinTrackHeight, 160);
  TMessage other{0x0F};
  EXPECT_FALSE(form.Dispatch(other));
}

TEST_F(FormTest, SystemCommandsMaskTheLowFourBits) {
  SetRows({"/a", "/b"});
  EXPECT_TRUE(form.AppWndProc(WM_SYSCOMMAND, 1990));
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(menu.items[1984], "停止(&P)");
  EXPECT_TRUE(form.AppWndProc(WM_SYSCOMMAND, 2015));
  EXPECT_EQ(form.PlayList.Row(), 1);
  EXPECT_TRUE(form.AppWndProc(WM_SYSCOMMAND, 1999));
  EXPECT_FALSE(form.Playing);
  EXPECT_EQ(menu.items[1984], "再生(&P)");
  const auto before = device.commands.size();
  EXPECT_FALSE(form.AppWndProc(WM_SYSCOMMAND, 1983));
  EXPECT_FALSE(form.AppWndProc(WM_SYSCOMMAND, 2016));
  EXPECT_FALSE(form.AppWndProc(WM_SYSCOMMAND, 0xF060));
  EXPECT_FALSE(form.AppWndProc(0x10, 1984));
  EXPECT_EQ(device.commands.size(), before);
}

TEST_F(FormTest, OptionToggles) {
  form.RandomMenu.Checked = true;
  SetRows({"/a", "", "/c"});
  for (int r = 0; r < 3; ++r) form.PlayList.SetMark(r, true);
  form.RandomMenuClick();
  EXPECT_FALSE(form.RandomMenu.Checked);
  EXPECT_EQ(form.PlayList.MarkedCount(), 0);
  form.RandomMenuClick();
  EXPECT_TRUE(form.RandomMenu.Checked);
  EXPECT_EQ(form.PlayList.MarkedCount(), 0);

  form.StatusBarMenuClick();
  EXPECT_FALSE(view.statusBarVisible);
  form.RepeatMenuClick();
  form.WindowPosMenuClick();
  form.InsertModeMenuClick();
  EXPECT_FALSE(form.RepeatMenu.Checked);
  EXPECT_FALSE(form.WindowPosMenu.Checked);
  EXPECT_TRUE(form.InsertModeMenu.Checked);
  EXPECT_EQ(view.focusCount, 0);
  EXPECT_TRUE(store->values.empty());  // nothing written before the close
  EXPECT_TRUE(form.FormClose());
  EXPECT_EQ(store->values["StatusBarMenu"], testing::MemoryStore::Value(0));
  EXPECT_EQ(store->values.count("WindowTop"), 0u);
}

// Commands that edit the list or control playback give the grid the focus;
// toggles, About, Open, Save, Save As, a double click and a drop leave it.
TEST_F(FormTest, OnlyEditAndPlaybackCommandsMoveTheFocus) {
  SetRows({"/a", "/b"});
  const auto list = List("f.ini", "/x\r\n");
  dialogs.answers = {Paths{list}, Paths{dir.File("s.ini")}};
  form.OpenMenuClick();
  form.SaveAsMenuClick();
  form.SaveMenuClick();
  form.AboutMenuClick();
  form.RandomMenuClick();
  form.InsertModeMenuClick();
  form.PlayListDblClick();
  Drop({"/dropped"});
  EXPECT_EQ(view.focusCount, 0);
  struct Command {
    const char* name;
    void (TFileListForm::*handler)();
  } commands[] = {
      {"Add", &TFileListForm::ButtonAddClick},
      {"Remove", &TFileListForm::ButtonRemoveClick},
      {"Up", &TFileListForm::ButtonUpClick},
      {"Down", &TFileListForm::ButtonDownClick},
      {"Clear", &TFileListForm::ClearMenuClick},
      {"Play", &TFileListForm::ButtonPlayClick},
      {"Stop", &TFileListForm::ButtonStopClick},
      {"Next", &TFileListForm::ButtonPlayNextClick},
      {"PlayStop", &TFileListForm::ButtonPlayStopClick},
  };
  for (const auto& command : commands) {
    const int before = view.focusCount;
    view.answers = {IDCANCEL};
    (form.*command.handler)();
    EXPECT_GE(view.focusCount, before + 1) << command.name;
  }
}

TEST_F(FormTest, AboutBox) {
  form.AboutMenuClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].Caption, "オーディオ再生");
  EXPECT_EQ(view.boxes[0].Flags, 0u);
  EXPECT_EQ(std::count(view.boxes[0].Text.begin(), view.boxes[0].Text.end(), '\n'), 2);
}

TEST_F(FormTest, ClosingEndsARetry) {
  SetRows({"/a", "/bad", "/c"});
  device.failOpen = {"/bad"};
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  EXPECT_TRUE(form.RetryPending());
  const auto commands = device.commands;
  EXPECT_EQ(commands.back(), "Open /bad");
  EXPECT_TRUE(form.FormClose());
  EXPECT_FALSE(form.RetryPending());
  loop.Advance(10000);
  EXPECT_EQ(device.commands, commands);
}

}  // namespace
}  // namespace kelvo
