#include "core/player_core.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/random.h"
#include "fakes/temp_dir.h"
#include "fakes/test_player.h"

namespace kelvo {
namespace {

using testing::RecordingPlayer;
using testing::TempDir;
using Paths = std::vector<std::string>;

class FormCreateTest : public ::testing::Test {
 protected:
  std::string List(const std::string& name, const std::string& body) {
    return dir.Write(name, "[zododizuza]\r\n" + body);
  }
  TempDir dir;
  RecordingPlayer p;
};

TEST_F(FormCreateTest, NoArgumentsLeavesAnEmptyIdlePlayer) {
  p.FormCreate({});
  EXPECT_EQ(p.PlayList.RowCount(), 1);
  EXPECT_TRUE(p.PlayList.IsEmpty());
  EXPECT_EQ(p.CurrentFileName.Caption, "");
  EXPECT_EQ(p.Nameoflist.Caption, "");
  EXPECT_EQ(p.NumberofList.Caption, "0 曲");
  EXPECT_EQ(p.PlayStatus.Caption, "演奏停止:");
  EXPECT_EQ(p.ListFileName, "");
  EXPECT_FALSE(p.Playing);
  EXPECT_TRUE(p.played.empty());
  EXPECT_EQ(p.view.registered, Paths({"MSWHEEL_ROLLMSG"}));
  EXPECT_EQ(p.WheelMessage, 0xC123u);
  EXPECT_TRUE(p.view.acceptingDrops);
  EXPECT_TRUE(p.view.hintHandlerInstalled);
}

TEST_F(FormCreateTest, OneArgumentBecomesTheListFileAsTyped) {
  List("one.ini", "/m/a.mid\r\n/m/b.mid\r\n");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  p.RandomMenu.Checked = false;
  p.FormCreate({"one.ini"});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(p.Paths(), Paths({"/m/a.mid", "/m/b.mid"}));
  EXPECT_EQ(p.ListFileName, "one.ini");
  EXPECT_EQ(p.Nameoflist.Caption, "one.ini");
  EXPECT_EQ(p.Nameoflist.Hint, "one.ini");
  EXPECT_EQ(p.NumberofList.Caption, "2 曲");
  EXPECT_EQ(p.played, Paths({"/m/a.mid"}));
}

TEST_F(FormCreateTest, EntrylessListPlaysNothingAndSetsNoName) {
  const auto file = List("empty.ini", "");
  p.FormCreate({file});
  EXPECT_TRUE(p.played.empty());
  EXPECT_EQ(p.ListFileName, "");
}

TEST_F(FormCreateTest, UnreadableArgumentIsReportedAndSkipped) {
  const auto missing = dir.File("missing.ini");
  p.FormCreate({missing});
  ASSERT_EQ(p.view.boxes.size(), 1u);
  EXPECT_EQ(p.view.boxes[0].Text, "演奏リストファイル[" + missing + "]がオープンできません。");
  EXPECT_TRUE(p.PlayList.IsEmpty());
  EXPECT_EQ(p.ListFileName, "");
  EXPECT_TRUE(p.played.empty());

  RecordingPlayer q;
  q.RandomMenu.Checked = false;
  const auto second = List("second.ini", "/s1\r\n/s2\r\n");
  q.FormCreate({missing, second});
  EXPECT_EQ(q.view.boxes.size(), 1u);
  EXPECT_EQ(q.Paths(), Paths({"/s1", "/s2"}));
  EXPECT_EQ(q.ListFileName, "");
  EXPECT_EQ(q.Nameoflist.Caption, "");
  EXPECT_EQ(q.played, Paths({"/s1"}));
}

TEST_F(FormCreateTest, TwoFilesAppendInOrderOrInsertBeforeEachOther) {
  const auto a = List("a.ini", "/a1\r\n/a2\r\n");
  const auto b = List("b.ini", "/b1\r\n");
  p.RandomMenu.Checked = false;
  p.FormCreate({a, b});
  EXPECT_EQ(p.Paths(), Paths({"/a1", "/a2", "/b1"}));

  RecordingPlayer q;
  q.RandomMenu.Checked = false;
  q.InsertModeMenu.Checked = true;
  q.FormCreate({a, b});
  EXPECT_EQ(q.Paths(), Paths({"/b1", "/a1", "/a2"}));
  EXPECT_EQ(q.played, Paths({"/b1"}));
}

TEST_F(FormCreateTest, ShuffleAtStartMarksTheChosenEntry) {
  const auto a = List("a.ini", "/a1\r\n/a2\r\n/a3\r\n");
  p.FormCreate({a});
  ASSERT_EQ(p.played.size(), 1u);
  EXPECT_EQ(p.PlayList.MarkedCount(), 1);
  EXPECT_EQ(p.played[0], p.PlayList.Path(p.PlayList.Row()));
}

// The start-up seed is the time of day: at midnight the generator starts
// from 64, whose first draw is 1075648, and 1075648 mod 3 is 1. In shuffle
// mode the first entry comes from that draw (row 1, not row 0); in list
// order it is row 0.
TEST_F(FormCreateTest, StartUpSeedsFromTheTimeOfDayAndShufflesTheFirstEntry) {
  const auto a = List("a.ini", "/a0\r\n/a1\r\n/a2\r\n");
  struct Case {
    bool shuffle;
    std::int32_t timeOfDay;
    std::string first;
  } cases[] = {{true, 0, "/a1"},
               // Seeded with 2: the first draw is 33614, row 2.
               {true, 2, "/a2"},
               {false, 0, "/a0"}};
  for (const auto& c : cases) {
    RecordingPlayer q;
    q.TimeOfDayMs = [&] { return c.timeOfDay; };
    q.RandomMenu.Checked = c.shuffle;
    SeedRandom(999);  // what start-up must replace
    q.FormCreate({a});
    EXPECT_EQ(q.played, Paths({c.first})) << c.shuffle << " " << c.timeOfDay;
  }
}

// An error raised by a step ends the creation handler there.
class FailingSettingsPlayer : public RecordingPlayer {
 protected:
  void LoadSettings() override { throw TLibraryError("RepeatMenu: not a REG_DWORD"); }
};

TEST_F(FormCreateTest, ErrorInAStepStopsTheLaterSteps) {
  FailingSettingsPlayer f;
  const auto a = List("a.ini", "/a1\r\n");
  f.FormCreate({a});
  ASSERT_EQ(f.view.boxes.size(), 1u);
  EXPECT_EQ(f.view.boxes[0].Text, "RepeatMenu: not a REG_DWORD");
  EXPECT_EQ(f.view.boxes[0].Caption, "オーディオ再生");
  EXPECT_EQ(f.view.boxes[0].Flags, 0x10u);
  EXPECT_EQ(f.PlayList.RowCount(), 15);  // the design rows stay
  EXPECT_TRUE(f.played.empty());
}

TEST(FormShow, PullsAnOffScreenWindowBack) {
  struct Case {
    int top, left, topAfter, leftAfter;
  } cases[] = {
      {1080 - 64, 100, 64, 100}, {1080 - 65, 100, 1080 - 65, 100},
      {-8, 100, -8, 100},        {-9, 100, 64, 100},
      {100, -64, 100, -64},      {100, -65, 100, 64},
      {100, 1920 - 64, 100, 64}, {100, 1920 - 65, 100, 1920 - 65},
  };
  for (const auto& c : cases) {
    RecordingPlayer p;
    p.view.placement = {c.top, c.left, 300, 280};
    p.FormShow();
    EXPECT_EQ(p.view.placement.Top, c.topAfter) << c.top << "," << c.left;
    EXPECT_EQ(p.view.placement.Left, c.leftAfter) << c.top << "," << c.left;
    EXPECT_EQ(p.view.placement.Height, 300);
    EXPECT_EQ(p.view.placement.Width, 280);
  }
}

TEST(FormShow, RowHeightIsTheFontHeightPlusTwo) {
  for (int height : {-12, 12}) {
    RecordingPlayer p;
    p.view.fontHeight = height;
    p.FormShow();
    EXPECT_EQ(p.view.rowHeight, 14);
  }
}

}  // namespace
}  // namespace kelvo
