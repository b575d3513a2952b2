#include "playback/playback_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "core/random.h"
#include "fakes/fake_view.h"
#include "fakes/scripted_device.h"

namespace kelvo {
namespace {

using testing::FakeEventLoop;
using testing::FakeSystemMenu;
using testing::FakeView;
using testing::ScriptedDevice;
using Paths = std::vector<std::string>;

class PlaybackTest : public ::testing::Test {
 protected:
  PlaybackTest() : device(loop), form(view, loop, device, menu) {}

  void SetRows(const Paths& paths) {
    form.PlayList.Reset();
    int point = 0;
    for (const auto& p : paths) form.PlayList.InsertEntry(point, p, false);
  }
  // The files the device was asked to play, in order.
  Paths Tried() const {
    Paths tried;
    for (const auto& c : device.commands)
      if (c.rfind("Open ", 0) == 0) tried.push_back(c.substr(5));
    return tried;
  }

  FakeView view;
  FakeEventLoop loop;
  FakeSystemMenu menu;
  ScriptedDevice device;
  TPlaybackForm form;
};

TEST_F(PlaybackTest, StartShowsNameLengthAndPlayingState) {
  device.lengths["/m/song.mid"] = 187900;
  EXPECT_TRUE(form.PlayFile("/m/song.mid"));
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.PlayStatus.Caption, "再生中:");
  EXPECT_EQ(form.CurrentFileName.Caption, "song.mid  3:07");
  EXPECT_EQ(form.CurrentFileName.Hint, "/m/song.mid");
  EXPECT_EQ(form.Title, "song.mid - オーディオ再生");
  EXPECT_EQ(menu.items[SC_PLAYSTOP], "停止(&P)");
  EXPECT_EQ(device.commands, Paths({"Open /m/song.mid", "Play /m/song.mid"}));
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(PlaybackTest, FailedStartShowsErrorWithoutABox) {
  for (auto* failures : {&device.failOpen, &device.failPlay}) {
    failures->insert("/m/bad.wav");
    EXPECT_FALSE(form.PlayFile("/m/bad.wav"));
    EXPECT_FALSE(form.Playing);
    EXPECT_EQ(form.PlayStatus.Caption, "エラー:");
    EXPECT_EQ(form.CurrentFileName.Caption, "bad.wav");
    EXPECT_EQ(form.Title, "オーディオ再生");
    EXPECT_EQ(menu.items[SC_PLAYSTOP], "再生(&P)");
    EXPECT_TRUE(view.boxes.empty());
    failures->clear();
  }
}

TEST_F(PlaybackTest, PlayOverARunningPlaySkipsNothing) {
  form.RandomMenu.Checked = false;
  SetRows({"/a", "/b", "/c"});
  form.ButtonPlayClick();
  form.PlayList.SetRow(2);
  form.ButtonPlayClick();
  // The stopped play's notice was handled while PlayFile ran: no chaining.
  EXPECT_EQ(Tried(), Paths({"/a", "/c"}));
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.PlayStatus.Caption, "再生中:");
  loop.Advance(10000);
  EXPECT_EQ(Tried(), Paths({"/a", "/c"}));
  EXPECT_EQ(view.focusCount, 2);
}

// Stop, then play again before the stopped play's notice is handled: the
// late notice must not be taken for the new play's.
TEST_F(PlaybackTest, LateNoticeOfAStoppedPlayIsNotTheCurrentPlays) {
  form.RandomMenu.Checked = false;
  SetRows({"/a", "/b", "/c"});
  form.ButtonPlayClick();
  form.ButtonStopClick();
  form.PlayList.SetRow(1);
  form.ButtonPlayClick();
  loop.Advance(10000);
  EXPECT_EQ(Tried(), Paths({"/a", "/b"}));
  EXPECT_EQ(form.PlayStatus.Caption, "再生中:");
  EXPECT_EQ(form.PlayList.Row(), 1);
}

TEST_F(PlaybackTest, StopWhileIdleOnlyShowsStopped) {
  form.ButtonStopClick();
  EXPECT_TRUE(device.commands.empty());
  EXPECT_EQ(form.PlayStatus.Caption, "再生停止:");
  EXPECT_EQ(view.focusCount, 1);
}

TEST_F(PlaybackTest, ToggleAfterTheListEndedStopsThenPlays) {
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  SetRows({"/a"});
  form.ButtonPlayStopClick();
  device.Finish();
  loop.Advance(0);
  EXPECT_TRUE(form.Playing);  // ended by itself
  EXPECT_EQ(form.PlayStatus.Caption, "再生停止:");
  form.ButtonPlayStopClick();
  EXPECT_FALSE(form.Playing);
  EXPECT_FALSE(device.IsOpen());
  form.ButtonPlayStopClick();
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(Tried(), Paths({"/a", "/a"}));
}

struct ChainCase {
  const char* name;
  bool shuffle;
  bool repeat;
};

void PrintTo(const ChainCase& c, std::ostream* os) {
  *os << c.name;
}

class ChainTest : public PlaybackTest, public ::testing::WithParamInterface<ChainCase> {};

// good, bad, bad, good: each failure waits 3 s, and the chain ends playing a good file.
TEST_P(ChainTest, SkipsFailedEntriesAfterThreeSeconds) {
  form.RandomMenu.Checked = GetParam().shuffle;
  form.RepeatMenu.Checked = GetParam().repeat;
  SetRows({"/good1", "/bad1", "/bad2", "/good2"});
  device.failOpen = {"/bad1", "/bad2"};
  SeedRandom(2024);
  form.PlayList.SetRow(0);
  ASSERT_TRUE(form.PlaySelected());

  device.clock = &loop.now;
  for (int finished = 0; finished < 2; ++finished) {
    device.Finish();
    loop.Advance(20000);
    if (!form.Playing || !device.IsPlaying()) break;
  }
  const auto& tryTimes = device.openTimes;
  const auto tried = Tried();
  // Consecutive tries after a failure are 3 s apart; after a good file, at once.
  for (std::size_t i = 1; i < tried.size(); ++i) {
    const bool afterFailure = tried[i - 1].rfind("/bad", 0) == 0;
    if (afterFailure) {
      EXPECT_EQ(tryTimes[i] - tryTimes[i - 1], 3000) << i;
    }
  }
  // Both bad files were tried, each failure shown, and a good file ended the chain.
  EXPECT_NE(std::find(tried.begin(), tried.end(), "/bad1"), tried.end());
  EXPECT_NE(std::find(tried.begin(), tried.end(), "/bad2"), tried.end());
  EXPECT_NE(std::find(tried.begin() + 1, tried.end(), "/good2"), tried.end());
  if (!GetParam().shuffle) {
    EXPECT_EQ(Paths(tried.begin(), tried.begin() + 4),
              Paths({"/good1", "/bad1", "/bad2", "/good2"}));
  }
  if (!GetParam().repeat && !GetParam().shuffle) {
    // The last row ended the list: nothing after it.
    EXPECT_EQ(tried.size(), 4u);
    EXPECT_TRUE(form.Playing);
    EXPECT_FALSE(form.RetryPending());
  }
  if (GetParam().repeat) {
    EXPECT_GT(tried.size(), 4u);  // it started over
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ChainTest,
                         ::testing::Values(ChainCase{"ListOrder", false, false},
                                           ChainCase{"ListOrderRepeat", false, true},
                                           ChainCase{"Shuffle", true, false},
                                           ChainCase{"ShuffleRepeat", true, true}),
                         [](const auto& info) { return info.param.name; });

TEST_F(PlaybackTest, EndOfTheLastRowStopsAtOnce) {
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  SetRows({"/a", "/b"});
  form.PlayList.SetRow(1);
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  EXPECT_EQ(form.PlayStatus.Caption, "再生停止:");
  EXPECT_TRUE(form.Playing);
  EXPECT_FALSE(form.RetryPending());
  EXPECT_EQ(Tried(), Paths({"/b"}));
}

TEST_F(PlaybackTest, FailureAtTheLastRowEndsTheChainAtOnce) {
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  SetRows({"/a", "/bad"});
  device.failOpen = {"/bad"};
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  EXPECT_EQ(form.PlayStatus.Caption, "エラー:");
  EXPECT_FALSE(form.RetryPending());
  loop.Advance(10000);
  EXPECT_EQ(Tried(), Paths({"/a", "/bad"}));
}

TEST_F(PlaybackTest, EmptyRowAfterAPlayedFileStopsTheChainAfterTheWait) {
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  SetRows({"/a", "", "/c"});
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  EXPECT_EQ(form.PlayList.Row(), 1);
  EXPECT_TRUE(form.RetryPending());
  loop.Advance(3000);
  EXPECT_FALSE(form.RetryPending());
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(Tried(), Paths({"/a"}));
  EXPECT_EQ(form.PlayStatus.Caption, "再生停止:");
}

TEST_F(PlaybackTest, EmptyRowDuringARetryIsSteppedOver) {
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  SetRows({"/a", "/bad", "", "/d"});
  device.failOpen = {"/bad"};
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  loop.Advance(3000);
  EXPECT_EQ(form.PlayList.Row(), 2);
  loop.Advance(3000);
  EXPECT_EQ(Tried(), Paths({"/a", "/bad", "/d"}));
  EXPECT_TRUE(form.Playing);
}

TEST_F(PlaybackTest, ShuffleLastUnplayedFailureEndsThePass) {
  form.RepeatMenu.Checked = false;
  SetRows({"/a", "/bad"});
  device.failOpen = {"/bad"};
  form.PlayList.SetMark(0, true);
  form.PlayList.SetRow(0);
  ASSERT_TRUE(form.PlayFile("/a"));
  device.Finish();
  loop.Advance(0);
  EXPECT_EQ(Tried(), Paths({"/a", "/bad"}));
  EXPECT_TRUE(form.RetryPending());
  loop.Advance(3000);
  EXPECT_FALSE(form.RetryPending());
  EXPECT_EQ(form.PlayList.MarkedCount(), 0);
  EXPECT_EQ(form.PlayStatus.Caption, "エラー:");
  EXPECT_FALSE(form.Playing);
}

// Repeat on and nothing playable: the retry would go on for ever; the stop
// command (and closing the window) ends it.
TEST_F(PlaybackTest, StopEndsAnEndlessRetry) {
  form.RandomMenu.Checked = false;
  SetRows({"/a", "/bad1", "/bad2"});
  device.failOpen = {"/bad1", "/bad2"};
  form.PlaySelected();
  device.failOpen.insert("/a");
  device.Finish();
  loop.Advance(30000);
  const auto triesBefore = Tried().size();
  EXPECT_GE(triesBefore, 10u);
  EXPECT_TRUE(form.RetryPending());
  form.ButtonStopClick();
  EXPECT_FALSE(form.RetryPending());
  loop.Advance(30000);
  EXPECT_EQ(Tried().size(), triesBefore);
}

TEST_F(PlaybackTest, PlayDuringTheWaitEndsTheRetry) {
  form.RandomMenu.Checked = false;
  SetRows({"/a", "/bad", "/c", "/d"});
  device.failOpen = {"/bad"};
  form.PlaySelected();
  device.Finish();
  loop.Advance(1000);
  form.PlayList.SetRow(3);
  form.ButtonPlayClick();
  loop.Advance(5000);
  EXPECT_EQ(Tried(), Paths({"/a", "/bad", "/d"}));
  EXPECT_TRUE(device.IsPlaying());
}

TEST_F(PlaybackTest, WindowStaysLiveDuringTheWait) {
  form.RandomMenu.Checked = false;
  SetRows({"/a", "/bad", "/c"});
  device.failOpen = {"/bad"};
  form.PlaySelected();
  device.Finish();
  loop.Advance(0);
  // A command handled in the middle of the wait runs at once.
  bool handled = false;
  loop.Post([&] { handled = true; });
  loop.Advance(100);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(form.RetryPending());
}

}  // namespace
}  // namespace kelvo
