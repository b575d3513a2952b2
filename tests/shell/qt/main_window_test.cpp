// The main window: its layout, texts, menus, keys, focus, options, hints,
// message boxes, the grid's selection and rows, and closing.

#include <gtest/gtest.h>

#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <fstream>
#include <limits>
#include <map>
#include <ostream>
#include <stdexcept>

#include "shell/qt/svg_icons.h"
#include "window_fixture.h"

// Sizes in failure messages read as "width x height".
static void PrintTo(const QSize& size, std::ostream* out) {
  *out << size.width() << " x " << size.height();
}

// Texts in failure messages read as they stand.
static void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace kelvo::testing {
namespace {

QString U(const char* text) {
  return QString::fromUtf8(text);
}

// ---------------------------------------------------------------- layout

TEST_F(WindowTest, ClientAreaToolbarPanelAndStatusLineHaveTheDesignSizes) {
  Start();
  const int menuHeight = window->menuBar()->height();
  EXPECT_EQ(window->width(), 280);
  EXPECT_EQ(window->height() - menuHeight, 248);
  EXPECT_EQ(window->findChild<QWidget*>("ToolBar")->height(), 31);
  EXPECT_EQ(window->findChild<QWidget*>("PanelTop")->height(), 40);
  EXPECT_EQ(window->statusBar()->height(), 21);
  // The grid takes the rest.
  EXPECT_EQ(window->PlayList()->height(), 248 - 31 - 40 - 21);
}

TEST_F(WindowTest, ToolbarButtonsStandInTheDocumentedOrderWithTheirImagesAndHints) {
  struct Row {
    const char* name;
    int left;
    int image;
    const char* hint;
  };
  const Row rows[] = {
      {"ButtonLoad", 4, 10, "演奏リストを読み込みます(O)。"},
      {"ButtonAdd", 37, 5, "演奏リストに追加するファイルを選択します(A)。"},
      {"ButtonRemove", 62, 6, "選択されている曲を演奏リストからはずします(D)。"},
      {"ButtonUp", 87, 7, "選択されている曲を、1行上に移動します(B)。"},
      {"ButtonDown", 112, 8, "選択されている曲を、1行下に移動します(N)。"},
      {"ButtonQuit", 145, 12, "プログラムを終了します。"},
      {"ButtonPlay", 178, 0, "再生を開始します(P)。"},
      {"ButtonStop", 203, 1, "再生を停止します(S)。"},
      {"ButtonPlayNext", 228, 4, "次の曲を再生します(T)。"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QToolButton* button = window->ToolButton(U(row.name));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->x(), row.left);
    EXPECT_EQ(button->size(), QSize(25, 24));
    EXPECT_EQ(button->toolTip(), U(row.hint));
    EXPECT_EQ(button->property("imageIndex").toInt(), row.image);
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  }
  for (const auto& [name, left] :
       {std::pair{"ToolButton1", 29}, {"ToolButton2", 137}, {"ToolButton3", 170}}) {
    auto* gap = window->findChild<QWidget*>(name);
    ASSERT_NE(gap, nullptr) << name;
    EXPECT_EQ(gap->x(), left);
    EXPECT_EQ(gap->width(), 8);
  }
}

TEST_F(WindowTest, EveryToolbarImageIsDrawnAndNoTwoAreAlike) {
  std::vector<QImage> images;
  for (int i = 0; i < kToolbarImageCount; ++i) {
    const QIcon icon = ToolbarImage(i);
    ASSERT_FALSE(icon.isNull()) << i;
    const QImage image = icon.pixmap(18, 18).toImage();
    EXPECT_EQ(image.size(), QSize(18, 18));
    for (const QImage& other : images) EXPECT_NE(image, other) << i;
    images.push_back(image);
  }
  EXPECT_TRUE(ToolbarImage(kToolbarImageCount).isNull());
  const QIcon program = ProgramIcon();
  ASSERT_FALSE(program.isNull());
  for (const int side : {16, 32}) {
    EXPECT_TRUE(program.availableSizes().contains(QSize(side, side))) << side;
  }
}

TEST_F(WindowTest, LabelsStandAtTheirPlacesWithTheirFirstCaptions) {
  struct Row {
    const char* name;
    int left;
    int top;
    const char* caption;
  };
  const Row rows[] = {
      {"PlayStatus", 4, 4, "演奏停止:"},
      {"CurrentFileName", 68, 4, "演奏中のファイル名"},
      {"Label1", 4, 20, "演奏リスト:"},
      {"NumberofList", 68, 20, "0 曲"},
      {"Nameoflist", 120, 20, "リストファイル名"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QLabel* label = window->Label(U(row.name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(row.left, row.top));
    EXPECT_EQ(label->text(), U(row.caption));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
  }
  // The start-up empties the file labels.
  Start();
  EXPECT_EQ(window->Label("CurrentFileName")->text(), QString());
  EXPECT_EQ(window->Label("Nameoflist")->text(), QString());
  EXPECT_EQ(window->windowTitle(), U("オーディオ再生"));
}

TEST_F(WindowTest, TheWindowFontIsAJapaneseFontOfTwelvePixelsThatHasTheTexts) {
  const QFont font = window->font();
  EXPECT_EQ(font.pixelSize(), 12);
  EXPECT_EQ(font.families().value(0), U("ＭＳ Ｐゴシック"));
  const QFontMetrics metrics(font);
  for (const char32_t ch : {U'演', U'奏', U'曲', U'リ', U'♪', U'：'}) {
    EXPECT_TRUE(metrics.inFontUcs4(ch)) << std::hex << static_cast<unsigned>(ch);
  }
}

TEST_F(WindowTest, GridShowsTwoFixedWidthColumnsWithoutHeadersOrEditing) {
  Start();
  PlayListView* grid = window->PlayList();
  EXPECT_EQ(grid->columnWidth(0), 18);
  EXPECT_EQ(grid->columnWidth(1), 1024);
  EXPECT_FALSE(grid->horizontalHeader()->isVisible());
  EXPECT_FALSE(grid->verticalHeader()->isVisible());
  EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(grid->selectionMode(), QAbstractItemView::SingleSelection);
  // The start-up sets rows of the font's height plus 2.
  EXPECT_EQ(grid->verticalHeader()->defaultSectionSize(), 14);
  EXPECT_EQ(window->PlayListFontHeight(), -12);
}

TEST_F(WindowTest, SmallestSizeComesFromThePlayerAndHoldsTheWindow) {
  Start();
  EXPECT_EQ(window->MinimumOuterSize(), QSize(165, 160));
  window->resize(50, 50);
  Settle();
  EXPECT_EQ(window->frameGeometry().size(), QSize(165, 160));
}

TEST_F(WindowTest, PlacementIsTheOuterGeometryBothWays) {
  Start();
  const TWindowPlacement wanted{70, 90, 330, 310};
  window->SetPlacement(wanted);
  Settle();
  EXPECT_EQ(window->Placement(), wanted);
}

// The outer size the window has, as TWindowPlacement gives it.
QSize PlacedSize(const TWindowPlacement& placement) {
  return {placement.Width, placement.Height};
}

// The outer size that closing stored.
QSize StoredSize(const MemoryStore& store) {
  const auto value = [&store](const char* name) {
    const auto it = store.values.find(name);
    return it == store.values.end() ? -1 : std::get<std::int32_t>(it->second);
  };
  return {value("WindowWidth"), value("WindowHeight")};
}

// The two kinds of window system the window meets: one that draws a frame
// around it, and one that reports none (no window manager).
struct FrameKind {
  const char* what;
  bool frameless;
};
constexpr FrameKind kFrameKinds[] = {{"with a frame", false}, {"without a frame", true}};

TEST_F(WindowTest, AStoredSizeIsHeldBetweenTheSmallestSizeAndTheScreen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QSize screenSize = screen->availableGeometry().size();
  const QSize least(165, 160);
  constexpr std::int32_t kLargest = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kSmallest = std::numeric_limits<std::int32_t>::min();
  for (const FrameKind& kind : kFrameKinds) {
    SCOPED_TRACE(kind.what);
    // The design size, frame included, as a run without a stored size shows it.
    NewRun({});
    window->setWindowFlag(Qt::FramelessWindowHint, kind.frameless);
    Start();
    const QSize design = window->frameGeometry().size();
    // The ordinary rows must lie inside the screen to mean anything.
    ASSERT_GT(screenSize.width(), std::max(design.width(), 301));
    ASSERT_GT(screenSize.height(), std::max(design.height(), 301));
    struct Row {
      const char* what;
      std::map<std::string, MemoryStore::Value> stored;
      QSize size;
    };
    const Row rows[] = {
        {"an ordinary size", {{"WindowHeight", 301}, {"WindowWidth", 277}}, {277, 301}},
        {"the largest width", {{"WindowWidth", kLargest}}, {screenSize.width(), design.height()}},
        {"the largest height", {{"WindowHeight", kLargest}}, {design.width(), screenSize.height()}},
        {"the largest both", {{"WindowHeight", kLargest}, {"WindowWidth", kLargest}}, screenSize},
        {"one pixel past the screen",
         {{"WindowHeight", screenSize.height() + 1}, {"WindowWidth", screenSize.width() + 1}},
         screenSize},
        {"the screen exactly",
         {{"WindowHeight", screenSize.height()}, {"WindowWidth", screenSize.width()}},
         screenSize},
        {"below the smallest size", {{"WindowHeight", 50}, {"WindowWidth", 50}}, least},
        {"negative sizes", {{"WindowHeight", kSmallest}, {"WindowWidth", -5}}, least},
        {"a Left alone", {{"WindowLeft", 44}}, design},
        {"a Top alone", {{"WindowTop", 33}}, design},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      NewRun(row.stored);
      window->setWindowFlag(Qt::FramelessWindowHint, kind.frameless);
      Start();
      EXPECT_EQ(window->frameGeometry().size(), row.size);
      EXPECT_EQ(PlacedSize(window->Placement()), row.size);
      ASSERT_TRUE(window->close());
      // What is written back is the size the window had, not the one asked for.
      EXPECT_EQ(StoredSize(*store), row.size);
    }
  }
}

TEST_F(WindowTest, TheSizeWrittenAtCloseIsTheOneTheWindowHasThen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QSize screenSize = screen->availableGeometry().size();
  for (const FrameKind& kind : kFrameKinds) {
    SCOPED_TRACE(kind.what);
    NewRun({{"WindowTop", 20}, {"WindowLeft", 10}, {"WindowHeight", 301}, {"WindowWidth", 277}});
    window->setWindowFlag(Qt::FramelessWindowHint, kind.frameless);
    Start();
    ASSERT_EQ(window->frameGeometry().size(), QSize(277, 301));

    // The user drags the window's edge.
    window->resize(window->size() + QSize(120, 50));
    Settle();
    ASSERT_EQ(window->frameGeometry().size(), QSize(397, 351));
    EXPECT_EQ(window->Placement(), (TWindowPlacement{20, 10, 351, 397}));

    // A size the player applies to the shown window is held by the screen too.
    window->SetPlacement({20, 10, std::numeric_limits<std::int32_t>::max(), 290});
    Settle();
    EXPECT_EQ(window->frameGeometry().size(), QSize(290, screenSize.height()));

    // And the user has the last word.
    window->resize(window->size() - QSize(10, 400));
    Settle();
    ASSERT_EQ(window->frameGeometry().size(), QSize(280, screenSize.height() - 400));
    ASSERT_TRUE(window->close());
    EXPECT_EQ(StoredSize(*store), QSize(280, screenSize.height() - 400));
    EXPECT_EQ(std::get<std::int32_t>(store->values["WindowTop"]), 20);
    EXPECT_EQ(std::get<std::int32_t>(store->values["WindowLeft"]), 10);
  }
}

TEST_F(WindowTest, TheListFileNameMovesAlongWithTheCountText) {
  Start();
  form->SetListFileName("/m/a-rather-long-name-for-a-play-list-file.ini");
  QLabel* count = window->Label("NumberofList");
  QLabel* name = window->Label("Nameoflist");
  ASSERT_EQ(name->text(), U("a-rather-long-name-for-a-play-list-file.ini"));
  struct Row {
    const char* count;
    bool fits;  // the count leaves the name its design place
  };
  // In this order: the name moves right and comes back.
  const Row rows[] = {{"0 曲", true},       {"9999 曲", false},    {"10000 曲", false},
                      {"100000 曲", false}, {"1000000 曲", false}, {"99999999 曲", false},
                      {"12 曲", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.count);
    form->NumberofList.Caption = row.count;
    window->Changed(FormElement::NumberofList);
    ASSERT_EQ(count->text(), U(row.count));
    const int countTextEnd = count->x() + count->fontMetrics().horizontalAdvance(count->text());
    EXPECT_FALSE(count->geometry().intersects(name->geometry()));
    EXPECT_GT(name->x(), countTextEnd);
    EXPECT_EQ(name->y(), 20);
    // The name is shown whole, at the width its text needs.
    EXPECT_GE(name->width(), name->fontMetrics().horizontalAdvance(name->text()));
    if (row.fits) {
      EXPECT_EQ(name->x(), 120);
    }
  }
  // The player's own count rule takes the same road.
  Fill(Numbered(100000));
  EXPECT_EQ(count->text(), U("100000 曲"));
  EXPECT_FALSE(count->geometry().intersects(name->geometry()));
}

// ---------------------------------------------------------------- menus

TEST_F(WindowTest, MenusHoldEveryItemWithItsCaptionHintAndCheck) {
  Start();
  struct Row {
    const char* name;
    const char* caption;
    const char* hint;
    bool checkable;
    bool checked;
  };
  const Row rows[] = {
      {"FileMenu", "ファイル(&F)", "", false, false},
      {"OpenMenu", "開く(&O)...", "演奏リストを読み込みます。", false, false},
      {"SaveMenu", "上書き保存(&S)", "演奏リストを保存します。", false, false},
      {"SaveAsMenu", "名前を付けて保存(&A)...", "演奏リストを別名で保存します。", false, false},
      {"AddMenu", "追加(&I)...", "演奏リストに追加するファイルを選択します。", false, false},
      {"ClearMenu", "演奏リストをクリア(&D)", "演奏リストを空にします。", false, false},
      {"ExitMenu", "終了(&X)", "プログラムを終了します。", false, false},
      {"PlayMenu", "演奏(&P)", "", false, false},
      {"PlayStartMenu", "再生(&P)", "再生を開始します。", false, false},
      {"PlayStopMenu", "停止(&S)", "再生を停止します。", false, false},
      {"PlayNextMenu", "次を再生(&T)", "次の曲を再生します。", false, false},
      {"OptionMenu", "オプション(&O)", "", false, false},
      {"RandomMenu", "ランダム(&A)", "シャッフル再生をON/OFFします。", true, true},
      {"RepeatMenu", "リピート(&R)", "繰り返し再生をON/OFFします。", true, true},
      {"StatusBarMenu", "ステータスバーを表示(&S)", "ステータスバーの表示/非表示を切り替えます。",
       true, true},
      {"WindowPosMenu", "ウインドウ位置を保存(&W)",
       "終了時にウインドウ位置を保存するか指定します。", true, true},
      {"InsertModeMenu", "曲追加はその場に挿入(&I)",
       "リストの最後に追加するか、その場に挿入するかを選択します。", true, false},
      {"HelpMenu", "ヘルプ(&H)", "", false, false},
      {"AboutMenu", "このプログラムについて(&A)...", "", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QAction* item = window->MenuItem(U(row.name));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), U(row.caption));
    EXPECT_EQ(item->isCheckable(), row.checkable);
    EXPECT_EQ(item->isChecked(), row.checked);
    EXPECT_TRUE(item->shortcut().isEmpty());
    // Hovering an item puts its hint (or nothing) into the status line,
    // after another item's hint.
    window->MenuItem(row.name == std::string("ExitMenu") ? "OpenMenu" : "ExitMenu")->hover();
    ASSERT_NE(window->StatusText(), QString());
    item->hover();
    Settle();
    EXPECT_EQ(window->StatusText(), U(row.hint));
  }
  // The menu bar's order, and the separators of the File menu.
  QStringList titles;
  for (QAction* action : window->menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles,
            (QStringList{U("ファイル(&F)"), U("演奏(&P)"), U("オプション(&O)"), U("ヘルプ(&H)")}));
  QStringList file;
  for (QAction* action : window->MenuItem("FileMenu")->menu()->actions())
    file << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
  EXPECT_EQ(file, (QStringList{"OpenMenu", "SaveMenu", "SaveAsMenu", "-", "AddMenu", "ClearMenu",
                               "-", "ExitMenu"}));
}

TEST_F(WindowTest, MenuCommandsReachTheirHandlers) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav"});
  window->MenuItem("PlayStartMenu")->trigger();
  EXPECT_EQ(device.openFile, "/m/a.wav");
  EXPECT_TRUE(form->Playing);
  window->MenuItem("PlayNextMenu")->trigger();
  EXPECT_TRUE(device.openFile == "/m/a.wav" || device.openFile == "/m/b.wav");
  window->MenuItem("PlayStopMenu")->trigger();
  EXPECT_FALSE(form->Playing);
  dialogs.openAnswers.push_back(std::vector<std::string>{"/m/c.wav"});
  window->MenuItem("AddMenu")->trigger();
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/a.wav", "/m/b.wav", "/m/c.wav"}));
  EXPECT_EQ(window->Label("NumberofList")->text(), U("3 曲"));
}

TEST_F(WindowTest, ClearAsksAndCancelKeepsTheList) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav"});
  {
    BoxAnswerer answer(1);  // Cancel
    window->MenuItem("ClearMenu")->trigger();
    ASSERT_EQ(answer.boxes.size(), 1u);
    EXPECT_EQ(answer.boxes[0].title, U("クリアの確認"));
    EXPECT_EQ(answer.boxes[0].text, U("演奏リストをクリアしてもいいですか？"));
    EXPECT_EQ(answer.boxes[0].icon, QMessageBox::Warning);
  }
  EXPECT_EQ(window->PlayListRows()->rowCount(), 2);
  {
    BoxAnswerer answer(0);  // OK
    window->MenuItem("ClearMenu")->trigger();
    EXPECT_EQ(answer.boxes.size(), 1u);
  }
  EXPECT_EQ(window->PlayListRows()->rowCount(), 1);
  EXPECT_EQ(window->Label("NumberofList")->text(), U("0 曲"));
}

// ---------------------------------------------------------------- message boxes

TEST_F(WindowTest, MessageBoxShowsTheFlagsIconAndButtonsAndReturnsTheButtonPressed) {
  struct Row {
    unsigned flags;
    int press;
    QMessageBox::Icon icon;
    QStringList buttons;
    int result;
  };
  const Row rows[] = {
      {0x00, 0, QMessageBox::NoIcon, {"OK"}, IDOK},
      {0x10, 0, QMessageBox::Critical, {"OK"}, IDOK},
      {0x30, 0, QMessageBox::Warning, {"OK"}, IDOK},
      {0x40, 0, QMessageBox::Information, {"OK"}, IDOK},
      {0x31, 0, QMessageBox::Warning, {"OK", U("キャンセル")}, IDOK},
      {0x31, 1, QMessageBox::Warning, {"OK", U("キャンセル")}, IDCANCEL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    BoxAnswerer answer(row.press);
    const int result = window->MessageBox("<b>本文</b>", "題名", row.flags);
    ASSERT_EQ(answer.boxes.size(), 1u);
    EXPECT_EQ(answer.boxes[0].icon, row.icon);
    EXPECT_EQ(answer.boxes[0].buttons, row.buttons);
    EXPECT_EQ(answer.boxes[0].title, U("題名"));
    // Text is shown as it stands, never as markup.
    EXPECT_EQ(answer.boxes[0].text, U("<b>本文</b>"));
    EXPECT_EQ(result, row.result);
  }
}

TEST_F(WindowTest, TitleAndErrorCaptionShowAFileNameWithQtsMarkAsItStands) {
  Start();
  for (const char* name : {"x[*].wav", "[*][*]y.wav", "z[*][*][*].wav"}) {
    SCOPED_TRACE(name);
    const QString title = U(name) + U(" - オーディオ再生");
    form->PlayFile(std::string("/m/") + name);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_EQ(window->windowHandle()->title(), title);
    // An error box takes the title as its caption.
    BoxAnswerer answer;
    QString caption;
    answer.onBox = [&caption] {
      const QWidget* box = QApplication::activeModalWidget();
      if (box != nullptr && box->windowHandle() != nullptr) caption = box->windowHandle()->title();
    };
    window->ShowException(std::runtime_error("error"));
    ASSERT_EQ(answer.boxes.size(), 1u);
    EXPECT_EQ(caption, title);
  }
}

TEST_F(WindowTest, AboutShowsTheAboutTextWithoutIcon) {
  Start();
  BoxAnswerer answer;
  window->MenuItem("AboutMenu")->trigger();
  ASSERT_EQ(answer.boxes.size(), 1u);
  EXPECT_EQ(answer.boxes[0].title, U("オーディオ再生"));
  EXPECT_EQ(answer.boxes[0].text.toStdString(), AboutText());
  EXPECT_EQ(answer.boxes[0].icon, QMessageBox::NoIcon);
}

// ---------------------------------------------------------------- keys

TEST_F(WindowTest, KeysOnTheGridReachTheirCommands) {
  struct Row {
    const char* what;
    int key;
    const char* text;
    Qt::KeyboardModifiers modifiers;
    std::vector<std::string> after;
    size_t dialogs;
    bool used;
  };
  const std::vector<std::string> start{"/m/a.wav", "/m/b.wav"};
  const std::vector<std::string> added{"/m/a.wav", "/m/b.wav", "/m/new.wav"};
  const std::vector<std::string> removed{"/m/b.wav"};
  const Row rows[] = {
      {"a does nothing", Qt::Key_A, "a", Qt::NoModifier, start, 0, false},
      {"Shift+A adds", Qt::Key_A, "A", Qt::ShiftModifier, added, 1, true},
      {"+ adds", Qt::Key_Plus, "+", Qt::NoModifier, added, 1, true},
      {"keypad + adds", Qt::Key_Plus, "+", Qt::KeypadModifier, added, 1, true},
      {"Insert adds", Qt::Key_Insert, "", Qt::NoModifier, added, 1, true},
      {"Delete removes", Qt::Key_Delete, "", Qt::NoModifier, removed, 0, true},
      {"D removes", Qt::Key_D, "D", Qt::ShiftModifier, removed, 0, true},
      {"- removes", Qt::Key_Minus, "-", Qt::NoModifier, removed, 0, true},
      {"d does nothing", Qt::Key_D, "d", Qt::NoModifier, start, 0, false},
      {"Alt+A is the menu's", Qt::Key_A, "A", Qt::AltModifier | Qt::ShiftModifier, start, 0, false},
      {"x does nothing", Qt::Key_X, "x", Qt::NoModifier, start, 0, false},
  };
  Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fill(start);
    form->PlayList.SetRow(0);
    dialogs.openRequests.clear();
    dialogs.openAnswers = {std::vector<std::string>{"/m/new.wav"}};
    const bool accepted = Key(row.key, QString::fromUtf8(row.text), row.modifiers);
    if (row.used) {
      EXPECT_TRUE(accepted);
    }
    EXPECT_EQ(Paths(), row.after);
    EXPECT_EQ(dialogs.openRequests.size(), row.dialogs);
    EXPECT_EQ(window->PlayListRows()->rowCount(), static_cast<int>(row.after.size()));
    // An unused letter never moves the selection (no search by typing).
    if (!row.used) {
      EXPECT_EQ(form->PlayList.Row(), 0);
    }
  }
}

TEST_F(WindowTest, PlayKeysPlayAndEnterOnAnEmptyRowPlaysNothing) {
  Start();
  EXPECT_TRUE(Key(Qt::Key_Return, "\r"));
  EXPECT_TRUE(device.commands.empty());
  EXPECT_FALSE(form->Playing);

  Fill({"/m/a.wav", "", "/m/c.wav"});
  form->RandomMenu.Checked = false;
  form->PlayList.SetRow(1);
  EXPECT_TRUE(Key(Qt::Key_Enter, "\r", Qt::KeypadModifier));
  EXPECT_TRUE(device.commands.empty());
  EXPECT_FALSE(form->PlayList.IsMarked(1));

  form->PlayList.SetRow(2);
  EXPECT_TRUE(Key(Qt::Key_Return, "\r"));
  EXPECT_EQ(device.openFile, "/m/c.wav");
  EXPECT_TRUE(Key(Qt::Key_S, "S", Qt::ShiftModifier));
  EXPECT_FALSE(form->Playing);
  EXPECT_TRUE(Key(Qt::Key_Space, " "));  // next: wraps to row 0
  EXPECT_EQ(device.openFile, "/m/a.wav");
  EXPECT_EQ(form->PlayList.Row(), 0);
}

TEST_F(WindowTest, GridKeysMoveTheSelectionAsTheGridDoes) {
  Start();
  Fill(Numbered(40));
  struct Row {
    int key;
    int expected;
  };
  const Row rows[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Up, 1},
                      {Qt::Key_End, 39}, {Qt::Key_Home, 0}, {Qt::Key_Right, 0}};
  for (const Row& row : rows) {
    Key(row.key);
    EXPECT_EQ(form->PlayList.Row(), row.expected) << row.key;
    EXPECT_EQ(window->PlayList()->currentIndex().row(), row.expected);
  }
  // Moving the selection brings it into view.
  Key(Qt::Key_End);
  EXPECT_GT(form->PlayList.TopRow(), 0);
  EXPECT_EQ(form->PlayList.TopRow(), window->PlayList()->verticalScrollBar()->value());
  EXPECT_GE(form->PlayList.TopRow() + form->PlayList.VisibleRowCount(), 40);
}

TEST_F(WindowTest, MovingUpAndDownFollowsTheEntry) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav", "/m/c.wav"});
  form->PlayList.SetRow(1);
  EXPECT_TRUE(Key(Qt::Key_B, "B", Qt::ShiftModifier));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/b.wav", "/m/a.wav", "/m/c.wav"}));
  EXPECT_EQ(window->PlayList()->currentIndex().row(), 0);
  EXPECT_TRUE(Key(Qt::Key_N, "N", Qt::ShiftModifier));
  EXPECT_TRUE(Key(Qt::Key_N, "N", Qt::ShiftModifier));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/a.wav", "/m/c.wav", "/m/b.wav"}));
  EXPECT_EQ(window->PlayList()->currentIndex().row(), 2);
  EXPECT_EQ(window->PlayListRows()->index(2, 1).data().toString(), U("/m/b.wav"));
}

// ---------------------------------------------------------------- focus

TEST_F(WindowTest, AToolbarClickGivesTheFocusBackToTheGrid) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav"});
  ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == window->PlayList(); }));
  for (const char* name : {"ButtonRemove", "ButtonUp", "ButtonDown", "ButtonStop"}) {
    SCOPED_TRACE(name);
    window->PlayList()->clearFocus();
    ASSERT_FALSE(window->PlayList()->hasFocus());
    QTest::mouseClick(window->ToolButton(U(name)), Qt::LeftButton);
    EXPECT_TRUE(window->PlayList()->hasFocus());
  }
  // The keys work on the grid at once after a click: they go where the focus is.
  Fill({"/m/a.wav", "/m/b.wav", "/m/c.wav"});
  window->PlayList()->clearFocus();
  QTest::mouseClick(window->ToolButton("ButtonUp"), Qt::LeftButton);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/b.wav", "/m/c.wav"}));
}

// ---------------------------------------------------------------- options

TEST_F(WindowTest, OptionItemsToggleThePlayersFlagsAndShowThem) {
  Start();
  struct Row {
    const char* name;
    TMenuItem TFileListForm::*flag;
  };
  const Row rows[] = {{"RandomMenu", &TFileListForm::RandomMenu},
                      {"RepeatMenu", &TFileListForm::RepeatMenu},
                      {"StatusBarMenu", &TFileListForm::StatusBarMenu},
                      {"WindowPosMenu", &TFileListForm::WindowPosMenu},
                      {"InsertModeMenu", &TFileListForm::InsertModeMenu}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QAction* item = window->MenuItem(U(row.name));
    const bool before = ((*form).*row.flag).Checked;
    ASSERT_EQ(item->isChecked(), before);
    item->trigger();
    EXPECT_EQ(((*form).*row.flag).Checked, !before);
    EXPECT_EQ(item->isChecked(), !before);
    // A change made by the player itself shows too.
    ((*form).*row.flag).Checked = before;
    window->Changed(FormElement::Options);
    EXPECT_EQ(item->isChecked(), before);
  }
}

TEST_F(WindowTest, ShuffleOffEmptiesEveryMarkAndOnAgainKeepsThemEmpty) {
  Start();
  Fill({"/m/a.wav", "", "/m/c.wav"});
  for (int r = 0; r < 3; ++r) form->PlayList.SetMark(r, true);
  Settle();
  EXPECT_EQ(window->PlayListRows()->index(1, 0).data().toString(), U("♪"));
  window->MenuItem("RandomMenu")->trigger();
  window->MenuItem("RandomMenu")->trigger();
  EXPECT_TRUE(form->RandomMenu.Checked);
  for (int r = 0; r < 3; ++r) {
    EXPECT_FALSE(form->PlayList.IsMarked(r));
    EXPECT_EQ(window->PlayListRows()->index(r, 0).data().toString(), QString());
  }
}

TEST_F(WindowTest, StatusBarItemHidesAndShowsTheStatusLine) {
  Start();
  EXPECT_TRUE(window->statusBar()->isVisible());
  const int gridHeight = window->PlayList()->height();
  window->MenuItem("StatusBarMenu")->trigger();
  Settle();
  EXPECT_FALSE(window->statusBar()->isVisible());
  // The grid takes the freed space.
  EXPECT_EQ(window->PlayList()->height(), gridHeight + 21);
  window->MenuItem("StatusBarMenu")->trigger();
  Settle();
  EXPECT_TRUE(window->statusBar()->isVisible());
}

// ---------------------------------------------------------------- hints

TEST_F(WindowTest, HoveringAButtonOrLabelShowsItsHintInTheStatusLine) {
  Start();
  QToolButton* add = window->ToolButton("ButtonAdd");
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(add, &enter);
  EXPECT_EQ(window->StatusText(), U("演奏リストに追加するファイルを選択します(A)。"));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(add, &leave);
  EXPECT_EQ(window->StatusText(), QString());

  // The list-file label carries the full path as its hint.
  const std::string list = dir.Write("曲.ini", "[zododizuza]\r\n/m/a.wav\r\n");
  form->SetListFileName(list);
  QLabel* name = window->Label("Nameoflist");
  EXPECT_EQ(name->text(), U("曲.ini"));
  EXPECT_EQ(name->toolTip(), QString::fromStdString(list));
  QApplication::sendEvent(name, &enter);
  EXPECT_EQ(window->StatusText(), QString::fromStdString(list));
  // A control without a hint shows none.
  QApplication::sendEvent(window->Label("Label1"), &enter);
  EXPECT_EQ(window->StatusText(), QString());
}

// ---------------------------------------------------------------- the grid

TEST_F(WindowTest, SelectionFollowsTheGridAndThePlayerBothWays) {
  Start();
  Fill(Numbered(5));
  PlayListView* grid = window->PlayList();
  const QRect cell = grid->visualRect(window->PlayListRows()->index(3, 1));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(form->PlayList.Row(), 3);
  form->PlayList.SetRow(1);
  EXPECT_EQ(grid->currentIndex().row(), 1);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(1, QModelIndex()));
  // Ctrl+click cannot leave the grid without a selected row.
  const QRect one = grid->visualRect(window->PlayListRows()->index(1, 1));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, one.center());
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(form->PlayList.Row(), QModelIndex()));
  // A press on the mark column selects nothing.
  const QRect mark = grid->visualRect(window->PlayListRows()->index(4, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, mark.center());
  EXPECT_EQ(form->PlayList.Row(), 1);
}

TEST_F(WindowTest, DoubleClickPlaysTheRowClicked) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav", "/m/c.wav"});
  PlayListView* grid = window->PlayList();
  const QRect cell = grid->visualRect(window->PlayListRows()->index(2, 1));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(device.openFile, "/m/c.wav");
  EXPECT_TRUE(form->Playing);
  EXPECT_EQ(window->windowTitle(), U("c.wav - オーディオ再生"));
  EXPECT_EQ(window->Label("PlayStatus")->text(), U("再生中:"));
}

TEST_F(WindowTest, DraggingARowByItsMarkCellMovesIt) {
  Start();
  Fill({"/m/a.wav", "/m/b.wav", "/m/c.wav", "/m/d.wav"});
  form->PlayList.SetRow(0);
  PlayListView* grid = window->PlayList();
  const auto at = [&](int row) {
    return grid->visualRect(window->PlayListRows()->index(row, 0)).center();
  };
  const auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, grid->viewport()->mapToGlobal(pos), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &event);
  };
  send(QEvent::MouseButtonPress, at(0), Qt::LeftButton);
  send(QEvent::MouseMove, at(1), Qt::LeftButton);
  send(QEvent::MouseMove, at(2), Qt::LeftButton);
  EXPECT_EQ(grid->MoveTarget(), 2);
  send(QEvent::MouseButtonRelease, at(2), Qt::NoButton);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/b.wav", "/m/c.wav", "/m/a.wav", "/m/d.wav"}));
  // The selected entry moved along.
  EXPECT_EQ(form->PlayList.Row(), 2);
  EXPECT_EQ(grid->currentIndex().row(), 2);
  EXPECT_EQ(window->PlayListRows()->index(2, 1).data().toString(), U("/m/a.wav"));
  EXPECT_EQ(grid->MoveTarget(), -1);
}

TEST_F(WindowTest, PathsAreShownAsTheFileSystemNamesThem) {
  Start();
  Fill({"/音楽/曲.mid", "/m/<b>x</b>.wav"});
  EXPECT_EQ(window->PlayListRows()->index(0, 1).data().toString(), U("/音楽/曲.mid"));
  EXPECT_EQ(window->PlayListRows()->index(1, 1).data().toString(), U("/m/<b>x</b>.wav"));
  EXPECT_EQ(window->PlayListRows()->index(0, 1).flags() & Qt::ItemIsEditable, Qt::NoItemFlags);
}

TEST_F(WindowTest, ABatchOfAHundredThousandRowsReachesTheView) {
  Start();
  constexpr int kRows = 100000;
  std::string text = "[zododizuza]\r\n";
  for (int i = 0; i < kRows; ++i) text += "/music/track" + std::to_string(i) + ".mid\r\n";
  const std::string list = dir.Write("big.ini", text);
  ASSERT_TRUE(form->LoadPlayList(list, true));
  Settle();
  EXPECT_EQ(window->PlayListRows()->rowCount(), kRows);
  EXPECT_EQ(window->PlayList()->verticalHeader()->count(), kRows);
  EXPECT_EQ(window->Label("NumberofList")->text(), U("100000 曲"));
  Key(Qt::Key_End);
  EXPECT_EQ(form->PlayList.Row(), kRows - 1);
  EXPECT_EQ(form->PlayList.TopRow() + form->PlayList.VisibleRowCount(), kRows);
  EXPECT_EQ(form->PlayList.TopRow(), window->PlayList()->verticalScrollBar()->value());
  EXPECT_EQ(window->PlayListRows()->index(kRows - 1, 1).data().toString(),
            U("/music/track99999.mid"));
}

// ---------------------------------------------------------------- closing

TEST_F(WindowTest, ClosingWritesTheSettingsToTheRegistry) {
  Start();
  window->MenuItem("RepeatMenu")->trigger();
  window->MenuItem("InsertModeMenu")->trigger();
  window->SetPlacement({40, 30, 300, 290});
  Settle();
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  const std::map<std::string, std::int32_t> expected{
      {"RandomMenu", 1},    {"RepeatMenu", 0},     {"StatusBarMenu", 1},
      {"WindowPosMenu", 1}, {"InsertModeMenu", 1}, {"WindowTop", 40},
      {"WindowLeft", 30},   {"WindowHeight", 300}, {"WindowWidth", 290}};
  for (const auto& [name, value] : expected) {
    ASSERT_TRUE(store->values.count(name)) << name;
    EXPECT_EQ(std::get<std::int32_t>(store->values[name]), value) << name;
  }
}

TEST_F(WindowTest, TheQuitButtonClosesThroughTheSameRoad) {
  Start();
  QTest::mouseClick(window->ToolButton("ButtonQuit"), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(store->values.count("RandomMenu"));
}

TEST_F(WindowTest, AFailedSaveKeepsTheWindowOpenAndSaysWhy) {
  Start();
  store->failWrites = {"RandomMenu"};
  BoxAnswerer answer;
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(answer.boxes.size(), 1u);
  EXPECT_TRUE(answer.boxes[0].text.contains("RandomMenu"));
  EXPECT_EQ(answer.boxes[0].icon, QMessageBox::Critical);
}

TEST_F(WindowTest, StoredSettingsShapeTheWindowAtStart) {
  store->keyExists = true;
  store->values = {{"StatusBarMenu", 0}, {"RandomMenu", 0},     {"WindowTop", 33},
                   {"WindowLeft", 44},   {"WindowHeight", 301}, {"WindowWidth", 277}};
  Start();
  EXPECT_FALSE(window->statusBar()->isVisible());
  EXPECT_FALSE(window->MenuItem("RandomMenu")->isChecked());
  EXPECT_FALSE(window->MenuItem("StatusBarMenu")->isChecked());
  EXPECT_EQ(window->Placement(), (TWindowPlacement{33, 44, 301, 277}));
}

}  // namespace
}  // namespace kelvo::testing
