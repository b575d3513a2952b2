// The open and save dialogs on Qt's file dialog.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "shell/qt/qt_file_dialogs.h"
#include "window_fixture.h"

namespace kelvo::testing {
namespace {

QString U(const char* text) {
  return QString::fromUtf8(text);
}

TEST(QtFileDialogsTest, FiltersBecomeNameFiltersInTheirOrder) {
  EXPECT_EQ(QtFileDialogs::NameFilters(AudioFilter()),
            (QStringList{U("オーディオファイル(*.wav;*.mid;*.mp?;*.avi) (*.wav *.mid *.mp? *.avi)"),
                         U("オーディオファイル(*.wav;*.mid) (*.wav *.mid)"),
                         U("WAVEファイル(*.wav) (*.wav)"), U("MIDIファイル(*.mid) (*.mid)"),
                         U("MPEGファイル(*.mpg;*.mp2;*.mp3) (*.mpg *.mp2 *.mp3)"),
                         U("AVIファイル(*.avi) (*.avi)"), U("すべてのファイル(*.*) (*)")}));
  EXPECT_EQ(QtFileDialogs::NameFilters(PlayListFilter()),
            (QStringList{U("演奏リスト(*.ini) (*.ini)"), U("全ファイル(*.*) (*)")}));
}

class DialogRun : public ::testing::Test {
 protected:
  // Runs the next dialog: checks nothing itself, types `typed` into its name
  // field and presses its button (or cancels when `typed` is empty).
  void Answer(const QString& typed) {
    dialogs.onShow = [this, typed](QFileDialog& dialog) {
      seenTitle = dialog.windowTitle();
      seenFilters = dialog.nameFilters();
      seenMode = dialog.fileMode();
      seenDirectory = dialog.directory().absolutePath();
      seenSuffix = dialog.defaultSuffix();
      seenDetailsHidden = dialog.testOption(QFileDialog::HideNameFilterDetails);
      seenNoOverwriteQuestion = dialog.testOption(QFileDialog::DontConfirmOverwrite);
      if (auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit")) seenName = edit->text();
      QTimer::singleShot(0, &dialog, [&dialog, typed] {
        if (typed.isEmpty()) {
          static_cast<QDialog&>(dialog).reject();
          return;
        }
        dialog.findChild<QLineEdit*>("fileNameEdit")->setText(typed);
        // QDialog's accept runs the file dialog's own checks.
        static_cast<QDialog&>(dialog).accept();
      });
    };
  }

  TempDir dir;
  QtFileDialogs dialogs;
  QString seenTitle;
  QStringList seenFilters;
  QFileDialog::FileMode seenMode = QFileDialog::AnyFile;
  QString seenDirectory;
  QString seenSuffix;
  QString seenName;
  bool seenDetailsHidden = false;
  bool seenNoOverwriteQuestion = false;
};

TEST_F(DialogRun, OpenWithSeveralFilesGivesTheirFullPathsInOrder) {
  const std::string a = dir.Write("a.wav", "x");
  const std::string b = dir.Write("曲.mid", "x");
  TDialogRequest request;
  request.Title = "演奏するファイルの選択";
  request.Filters = AudioFilter();
  request.InitialDir = dir.Path().string();
  request.MultiSelect = true;
  request.MustExist = true;
  Answer(U("\"曲.mid\" \"a.wav\""));
  const auto chosen = dialogs.RunOpen(request);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, (std::vector<std::string>{b, a}));
  EXPECT_EQ(seenTitle, U("演奏するファイルの選択"));
  EXPECT_EQ(seenFilters, QtFileDialogs::NameFilters(AudioFilter()));
  EXPECT_EQ(seenMode, QFileDialog::ExistingFiles);
  EXPECT_EQ(seenDirectory, QString::fromStdString(dir.Path().string()));
  EXPECT_TRUE(seenDetailsHidden);
}

TEST_F(DialogRun, OpenOfOneListFileAddsTheDefaultExtension) {
  const std::string list = dir.Write("songs.ini", "[zododizuza]\r\n");
  TDialogRequest request;
  request.Title = "演奏リストの読み込み";
  request.Filters = PlayListFilter();
  request.DefaultExt = "ini";
  request.InitialDir = dir.Path().string();
  request.MustExist = true;
  Answer("songs");
  const auto chosen = dialogs.RunOpen(request);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, (std::vector<std::string>{list}));
  EXPECT_EQ(seenMode, QFileDialog::ExistingFile);
  EXPECT_EQ(seenSuffix, "ini");
}

TEST_F(DialogRun, CancelGivesNothing) {
  TDialogRequest request;
  request.Title = "演奏リストの読み込み";
  request.InitialDir = dir.Path().string();
  Answer(QString());
  EXPECT_FALSE(dialogs.RunOpen(request).has_value());
  Answer(QString());
  EXPECT_FALSE(dialogs.RunSave(request).has_value());
}

TEST_F(DialogRun, SaveProposesTheNameAndOverwritesWithoutAsking) {
  const std::string existing = dir.Write("old.ini", "old");
  TDialogRequest request;
  request.Title = "演奏リストの保存";
  request.Filters = PlayListFilter();
  request.DefaultExt = "ini";
  request.InitialDir = dir.Path().string();
  request.ProposedName = "newname.ini";
  BoxAnswerer boxes;
  Answer("old");
  const auto chosen = dialogs.RunSave(request);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, existing);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(seenName, "newname.ini");
  EXPECT_EQ(seenTitle, U("演奏リストの保存"));
  EXPECT_TRUE(seenNoOverwriteQuestion);

  Answer("fresh");
  EXPECT_EQ(dialogs.RunSave(request), dir.File("fresh.ini"));
}

// The dialog's own labels and buttons are in Japanese, as the player's
// titles and filters are: no English word is left ("Look in:", "File name:",
// "Cancel", ...), and the list's columns are wide enough to be read.
TEST_F(DialogRun, TheDialogSpeaksJapanese) {
  dir.Write("a-rather-long-file-name-for-the-column.wav", std::string(120000, 'x'));
  for (const bool save : {false, true}) {
    QStringList english;
    int sizeColumn = 0;
    dialogs.onShow = [&](QFileDialog& dialog) {
      QTimer::singleShot(0, &dialog, [&] {
        const QRegularExpression word(QStringLiteral("[A-Za-z]{3,}"));
        for (auto* label : dialog.findChildren<QLabel*>())
          if (label->isVisible() && word.match(label->text()).hasMatch()) english << label->text();
        for (auto* button : dialog.findChildren<QAbstractButton*>()) {
          if (!button->isVisible()) continue;
          if (word.match(button->text()).hasMatch()) english << button->text();
          if (word.match(button->toolTip()).hasMatch()) english << button->toolTip();
        }
        if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView")))
          sizeColumn = view->columnWidth(1);
        static_cast<QDialog&>(dialog).reject();
      });
    };
    TDialogRequest request;
    request.Title = save ? "演奏リストの保存" : "演奏するファイルの選択";
    request.Filters = save ? PlayListFilter() : AudioFilter();
    request.InitialDir = dir.Path().string();
    if (save) {
      EXPECT_FALSE(dialogs.RunSave(request).has_value());
    } else {
      EXPECT_FALSE(dialogs.RunOpen(request).has_value());
    }
    EXPECT_TRUE(english.isEmpty()) << english.join(QStringLiteral(" | ")).toStdString();
    EXPECT_GE(sizeColumn, 90) << "the size column is cut";
  }
}

// A save path in a folder that does not exist is refused: a box says so
// and the dialog asks again.
TEST_F(DialogRun, SaveIntoAMissingFolderIsRefused) {
  TDialogRequest request;
  request.Title = "演奏リストの保存";
  request.Filters = PlayListFilter();
  request.DefaultExt = "ini";
  request.InitialDir = dir.Path().string();
  int shown = 0;
  dialogs.onShow = [&](QFileDialog& dialog) {
    const int round = ++shown;
    QTimer::singleShot(0, &dialog, [&dialog, round] {
      if (round > 1) {
        static_cast<QDialog&>(dialog).reject();
        return;
      }
      dialog.findChild<QLineEdit*>("fileNameEdit")->setText(QStringLiteral("no/such/folder/x.ini"));
      static_cast<QDialog&>(dialog).accept();
    });
  };
  BoxAnswerer boxes;
  EXPECT_FALSE(dialogs.RunSave(request).has_value());
  EXPECT_EQ(shown, 2);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_TRUE(boxes.boxes[0].text.contains(U("がありません"))) << boxes.boxes[0].text.toStdString();
  EXPECT_FALSE(std::filesystem::exists(dir.File("no")));
}

}  // namespace
}  // namespace kelvo::testing
