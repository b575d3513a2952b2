// The system-menu commands: the player's hook and the tray menu that sends them.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QWindow>
#include <ostream>

#include "shell/qt/svg_icons.h"
#include "shell/qt/tray_system_menu.h"
#include "window_fixture.h"

// Texts in failure messages read as they stand.
static void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace kelvo::testing {
namespace {

class SystemMenuTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Start();
    form->RandomMenu.Checked = false;
    Fill({"/m/a.wav", "/m/b.wav", "/m/c.wav"});
  }
};

TEST_F(SystemMenuTest, PlayStopAndNextCommandsAndTheOnesAroundThem) {
  struct Row {
    unsigned wParam;
    bool handled;
    bool playingAfter;
    std::string openAfter;
    std::string itemAfter;
  };
  // Played in order: each row starts where the one before it left off.
  const Row rows[] = {
      {1990, true, true, "/m/a.wav", "停止(&P)"},   // play/stop while stopped: play
      {2015, true, true, "/m/b.wav", "停止(&P)"},   // next
      {1983, false, true, "/m/b.wav", "停止(&P)"},  // not ours
      {2016, false, true, "/m/b.wav", "停止(&P)"},  // not ours
      {1984, true, false, "", "再生(&P)"},          // play/stop while playing: stop
      {1999, true, true, "/m/b.wav", "停止(&P)"},   // play the selected row again
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.wParam);
    window->PlayList()->clearFocus();
    EXPECT_EQ(form->AppWndProc(WM_SYSCOMMAND, row.wParam), row.handled);
    EXPECT_EQ(form->Playing, row.playingAfter);
    if (row.playingAfter) {
      EXPECT_EQ(device.openFile, row.openAfter);
    }
    EXPECT_EQ(menu.items[SC_PLAYSTOP], row.itemAfter);
    // A handled command leaves the focus on the grid.
    if (row.handled) {
      EXPECT_TRUE(window->PlayList()->hasFocus());
    }
  }
  EXPECT_FALSE(form->AppWndProc(0x111, 1984));
}

TEST(TraySystemMenuTest, HoldsTheItemsInOrderAndKeepsTextsWithoutATray) {
  TraySystemMenu tray;
  QStringList items;
  for (QAction* action : tray.Menu().actions())
    items << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(items, (QStringList{QString::fromUtf8("再生(&P)"), QString::fromUtf8("次を再生(&F)"),
                                "-", QString::fromUtf8("閉じる(&C)")}));
  tray.ModifyItem(SC_PLAYSTOP, "停止(&P)");
  EXPECT_EQ(tray.ItemText(SC_PLAYSTOP), "停止(&P)");
  tray.ModifyItem(4242, "nothing");
  EXPECT_EQ(tray.ItemText(4242), "");
  // Without a player nothing happens, and nothing breaks.
  tray.Choose(SC_PLAYSTOP);
  tray.Choose(TraySystemMenu::kCloseCommand);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = std::make_shared<MemoryStore>();
    window = std::make_unique<MainWindow>();
    form = std::make_unique<TFileListForm>(*window, loop, device, tray, dialogs,
                                           MemoryRegistry::Factory(store));
    window->Attach(*form);
    tray.Bind(*form, *window);
    form->FormCreate({});
    form->RandomMenu.Checked = false;
    int point = 0;
    form->InsertEntry(point, "/m/a.wav");
    form->InsertEntry(point, "/m/b.wav");
    window->show();
    Settle();
  }
  void TearDown() override {
    tray.Unbind();
    window->Detach();
    form.reset();
    window.reset();
  }

  QtEventLoop loop;
  ScriptedDevice device{loop};
  TraySystemMenu tray;
  ScriptedDialogs dialogs;
  std::shared_ptr<MemoryStore> store;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<TFileListForm> form;
};

TEST_F(TrayTest, ItsItemsPlayStopSkipAndClose) {
  tray.Item(SC_PLAYSTOP)->trigger();
  EXPECT_TRUE(form->Playing);
  EXPECT_EQ(device.openFile, "/m/a.wav");
  EXPECT_EQ(tray.ItemText(SC_PLAYSTOP), "停止(&P)");
  tray.Item(SC_PLAYNEXT)->trigger();
  EXPECT_EQ(device.openFile, "/m/b.wav");
  tray.Item(SC_PLAYSTOP)->trigger();
  EXPECT_FALSE(form->Playing);
  EXPECT_EQ(tray.ItemText(SC_PLAYSTOP), "再生(&P)");
  // Close takes the window's own road: the settings are written.
  tray.Item(TraySystemMenu::kCloseCommand)->trigger();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(store->values.count("WindowPosMenu"));
}

TEST_F(TrayTest, ItsToolTipIsTheWindowsTitleAsTheWindowShowsIt) {
  const QString app = QString::fromUtf8("オーディオ再生");
  ASSERT_NE(window->windowHandle(), nullptr);
  EXPECT_EQ(window->windowHandle()->title(), app);
  EXPECT_EQ(tray.ToolTip(), app);
  // The program shows the icon after binding it: the window's title wins.
  tray.Show(ProgramIcon(), QStringLiteral("something else"));
  EXPECT_EQ(tray.ToolTip(), app);

  struct Row {
    const char* path;
    const char* title;
  };
  const Row rows[] = {
      {"/m/a.wav", "a.wav - オーディオ再生"},
      {"/音楽/曲.mid", "曲.mid - オーディオ再生"},
      {"/m/x[*].wav", "x[*].wav - オーディオ再生"},
      {"/m/[*][*]y.wav", "[*][*]y.wav - オーディオ再生"},
      {"/m/<b>z.wav", "<b>z.wav - オーディオ再生"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    form->PlayFile(row.path);
    ASSERT_TRUE(form->Playing);
    // The title bar shows the name as it stands, and the tooltip says the same.
    EXPECT_EQ(window->windowHandle()->title(), QString::fromUtf8(row.title));
    EXPECT_EQ(tray.ToolTip(), QString::fromUtf8(row.title));
  }
  tray.Item(SC_PLAYSTOP)->trigger();
  ASSERT_FALSE(form->Playing);
  EXPECT_EQ(window->windowHandle()->title(), app);
  EXPECT_EQ(tray.ToolTip(), app);
}

TEST(TraySystemMenuTest, WithoutAWindowTheToolTipIsTheOneShown) {
  TraySystemMenu tray;
  tray.Show(ProgramIcon(), QStringLiteral("kelvo <b>x</b>"));
  EXPECT_EQ(tray.ToolTip(), QStringLiteral("kelvo <b>x</b>"));
}

}  // namespace
}  // namespace kelvo::testing
