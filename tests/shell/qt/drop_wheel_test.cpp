// Files dropped on the window and the mouse wheel, through Qt's own events.

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>

#include "window_fixture.h"

namespace kelvo::testing {
namespace {

QString U(const char* text) {
  return QString::fromUtf8(text);
}

class DropTest : public WindowTest {
 protected:
  // A URL of a local file whose name is these bytes.
  static QUrl FileUrl(const std::string& bytes) {
    return QUrl::fromEncoded(QByteArray("file://") +
                             QByteArray::fromStdString(bytes).toPercentEncoding("/"));
  }

  // Drags the URLs over the grid and drops them, as a file manager does; true
  // when the window took the drop. The drop's own work is then done too.
  bool Drop(const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QWidget* target = window->PlayList()->viewport();
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
      QDragLeaveEvent leave;
      QApplication::sendEvent(target, &leave);
      return false;
    }
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    Settle();
    return drop.isAccepted();
  }
  bool Drop(const std::vector<std::string>& names) {
    QList<QUrl> urls;
    for (const auto& name : names) urls << FileUrl(name);
    return Drop(urls);
  }
};

TEST_F(DropTest, MediaFilesAreAppendedInDropOrder) {
  Start();
  ASSERT_TRUE(Drop(std::vector<std::string>{"/m/x.wav", "/m/y.mid", "/m/z.mp3"}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/x.wav", "/m/y.mid", "/m/z.mp3"}));
  EXPECT_EQ(window->PlayListRows()->rowCount(), 3);
  EXPECT_EQ(window->Label("NumberofList")->text(), U("3 曲"));
  // A drop plays nothing and the window takes drops again.
  EXPECT_TRUE(device.commands.empty());
  EXPECT_TRUE(window->acceptDrops());
}

TEST_F(DropTest, InInsertModeTheFilesGoBeforeTheSelectedRow) {
  Start();
  Fill({"/m/0.wav", "/m/1.wav", "/m/2.wav", "/m/3.wav", "/m/4.wav"});
  window->MenuItem("InsertModeMenu")->trigger();
  form->PlayList.SetRow(2);
  ASSERT_TRUE(Drop(std::vector<std::string>{"/m/x.wav", "/m/y.wav"}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/0.wav", "/m/1.wav", "/m/x.wav", "/m/y.wav",
                                               "/m/2.wav", "/m/3.wav", "/m/4.wav"}));
  EXPECT_EQ(form->PlayList.Row(), 2);
  EXPECT_EQ(window->PlayList()->currentIndex().row(), 2);
  EXPECT_EQ(window->PlayListRows()->index(2, 1).data().toString(), U("/m/x.wav"));
}

TEST_F(DropTest, APlayListFileIsReadAndBecomesTheListFile) {
  struct Row {
    const char* what;
    bool insertMode;
    std::vector<std::string> before;
    int selected;
    std::vector<std::string> after;
    bool becomesListFile;
  };
  const Row rows[] = {
      {"on the empty list",
       false,
       {},
       0,
       {"/p/a.wav", "/p/b.wav", "/p/c.wav", "/m/after.wav"},
       true},
      {"appended to two entries",
       false,
       {"/m/0.wav", "/m/1.wav"},
       1,
       {"/m/0.wav", "/m/1.wav", "/p/a.wav", "/p/b.wav", "/p/c.wav", "/m/after.wav"},
       false},
      {"inserted before the selected row",
       true,
       {"/m/0.wav", "/m/1.wav"},
       1,
       {"/m/0.wav", "/p/a.wav", "/p/b.wav", "/p/c.wav", "/m/after.wav", "/m/1.wav"},
       false},
  };
  Start();
  const std::string list =
      dir.Write("LIST.INI", "[zododizuza]\r\n/p/a.wav\r\n/p/b.wav\r\n/p/c.wav\r\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    form->InsertModeMenu.Checked = row.insertMode;
    form->SetListFileName("");
    Fill(row.before);
    form->PlayList.SetRow(row.selected);
    ASSERT_TRUE(Drop(std::vector<std::string>{list, "/m/after.wav"}));
    EXPECT_EQ(Paths(), row.after);
    EXPECT_EQ(window->PlayListRows()->rowCount(), static_cast<int>(row.after.size()));
    EXPECT_EQ(form->ListFileName, row.becomesListFile ? list : std::string());
    EXPECT_EQ(window->Label("Nameoflist")->text(), row.becomesListFile ? U("LIST.INI") : QString());
    EXPECT_EQ(window->Label("NumberofList")->text(), QString::number(row.after.size()) + U(" 曲"));
  }
}

TEST_F(DropTest, NamesKeepTheirBytes) {
  Start();
  const std::string japanese = "/音楽/曲.mid";
  const std::string latin1 = std::string("/m/caf") + '\xE9' + ".wav";  // not UTF-8
  ASSERT_TRUE(Drop(std::vector<std::string>{japanese, latin1, "/m/a b%20c.wav"}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{japanese, latin1, "/m/a b%20c.wav"}));
}

TEST_F(DropTest, OnlyLocalFilesAreTaken) {
  Start();
  EXPECT_FALSE(Drop(QList<QUrl>{QUrl("https://example.invalid/a.wav")}));
  EXPECT_TRUE(form->PlayList.IsEmpty());
  // Local files among others: the local ones are taken.
  EXPECT_TRUE(Drop(QList<QUrl>{QUrl("https://example.invalid/a.wav"), FileUrl("/m/b.wav")}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/b.wav"}));
}

TEST_F(DropTest, NoDropIsTakenWhileTheWindowRefusesThem) {
  Start();
  window->DragAcceptFiles(false);
  EXPECT_FALSE(Drop(std::vector<std::string>{"/m/a.wav"}));
  EXPECT_TRUE(form->PlayList.IsEmpty());
  window->DragAcceptFiles(true);
  EXPECT_TRUE(Drop(std::vector<std::string>{"/m/a.wav"}));
}

TEST_F(DropTest, ADropDuringTheErrorBoxOfAnotherIsRefused) {
  Start();
  bool secondTaken = true;
  BoxAnswerer answer;
  answer.onBox = [&] { secondTaken = Drop(std::vector<std::string>{"/m/late.wav"}); };
  ASSERT_TRUE(Drop(std::vector<std::string>{dir.File("missing.ini"), "/m/a.wav"}));
  ASSERT_EQ(answer.boxes.size(), 1u);
  EXPECT_TRUE(answer.boxes[0].text.contains("missing.ini"));
  EXPECT_FALSE(secondTaken);
  // The rest of the first drop went on; the missing file is still the list file.
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/m/a.wav"}));
  EXPECT_EQ(form->ListFileName, dir.File("missing.ini"));
  EXPECT_TRUE(window->acceptDrops());
}

// ---------------------------------------------------------------- the wheel

class WheelTest : public WindowTest {
 protected:
  void Turn(QWidget* over, int delta) {
    const QPointF pos = QPointF(over->rect().center());
    QWheelEvent event(pos, over->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &event);
    Settle();
  }
  int Top() const { return window->PlayList()->verticalScrollBar()->value(); }
};

TEST_F(WheelTest, OneNotchMovesTheViewOneRowAndStopsAtTheEnds) {
  Start();
  Fill(Numbered(50));
  const int bottom = window->PlayList()->verticalScrollBar()->maximum();
  ASSERT_GT(bottom, 10);
  struct Row {
    const char* what;
    int start;
    std::vector<int> deltas;
    int expected;
  };
  const Row rows[] = {
      {"up at the top", 0, {120}, 0},
      {"down", 0, {-120}, 1},
      {"up", 5, {120}, 4},
      {"two notches at once", 5, {-240}, 7},
      {"half notches add up", 5, {-60, -60}, 6},
      {"a half notch does nothing", 5, {-60}, 5},
      {"down at the bottom", bottom, {-120}, bottom},
      {"up from the bottom", bottom, {120}, bottom - 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    form->PlayList.SetRow(0);
    form->PlayList.SetTopRow(row.start);
    Settle();
    ASSERT_EQ(Top(), row.start);
    for (const int delta : row.deltas) Turn(window->PlayList()->viewport(), delta);
    EXPECT_EQ(Top(), row.expected);
    EXPECT_EQ(form->PlayList.TopRow(), row.expected);
    // The selection stays where it was.
    EXPECT_EQ(form->PlayList.Row(), 0);
  }
  // A turn that no control takes (over the panel, say) ends at the window,
  // and scrolls the list too.
  form->PlayList.SetTopRow(3);
  Settle();
  Turn(window.get(), -120);
  EXPECT_EQ(Top(), 4);
}

TEST_F(WheelTest, WithEveryRowVisibleTheViewStays) {
  Start();
  Fill(Numbered(3));
  Turn(window->PlayList()->viewport(), -120);
  EXPECT_EQ(Top(), 0);
  EXPECT_EQ(form->PlayList.TopRow(), 0);
  EXPECT_EQ(form->PlayList.VisibleRowCount(), 3);
}

}  // namespace
}  // namespace kelvo::testing
