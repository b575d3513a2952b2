// The player's event loop on Qt's.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/qt/qt_event_loop.h"
#include "window_fixture.h"

namespace kelvo::testing {
namespace {

TEST(QtEventLoopTest, PostedMessagesRunLaterInTheirOrder) {
  QtEventLoop loop;
  std::vector<int> ran;
  loop.Post([&] {
    ran.push_back(1);
    // Posted while handling: waits for a later round.
    loop.Post([&] { ran.push_back(3); });
  });
  loop.Post([&] { ran.push_back(2); });
  EXPECT_TRUE(ran.empty());
  ASSERT_TRUE(WaitUntil([&] { return ran.size() == 3; }));
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(QtEventLoopTest, ProcessMessagesRunsWhatWaits) {
  QtEventLoop loop;
  bool ran = false;
  loop.Post([&] { ran = true; });
  loop.ProcessMessages();
  EXPECT_TRUE(ran);
}

TEST(QtEventLoopTest, TimersFireOnceInTheirTurnUnlessCancelled) {
  QtEventLoop loop;
  std::vector<std::string> fired;
  const auto soon = loop.StartTimer(20, [&] { fired.push_back("soon"); });
  const auto late = loop.StartTimer(600000, [&] { fired.push_back("late"); });
  const auto cancelled = loop.StartTimer(0, [&] { fired.push_back("cancelled"); });
  EXPECT_NE(soon, 0u);
  EXPECT_NE(soon, late);
  EXPECT_NE(late, cancelled);
  EXPECT_EQ(loop.PendingTimers(), 3u);
  loop.CancelTimer(cancelled);
  loop.CancelTimer(cancelled);  // twice: nothing
  ASSERT_TRUE(WaitUntil([&] { return !fired.empty(); }));
  // Give a wrongly kept timer the chance to fire again.
  WaitUntil([] { return false; }, 100);
  EXPECT_EQ(fired, (std::vector<std::string>{"soon"}));
  EXPECT_EQ(loop.PendingTimers(), 1u);
  loop.CancelTimer(soon);  // already fired: nothing
  loop.CancelTimer(late);
  EXPECT_EQ(loop.PendingTimers(), 0u);
}

TEST(QtEventLoopTest, ATimerCanStartAnotherFromItsCallback) {
  QtEventLoop loop;
  int second = 0;
  loop.StartTimer(0, [&] { loop.StartTimer(0, [&] { ++second; }); });
  ASSERT_TRUE(WaitUntil([&] { return second == 1; }));
}

TEST(QtEventLoopTest, ErrorsOfCallbacksGoToTheHandler) {
  QtEventLoop loop;
  std::vector<std::string> errors;
  loop.SetErrorHandler([&](const std::exception& e) { errors.push_back(e.what()); });
  loop.Post([] { throw TLibraryError("posted"); });
  loop.StartTimer(0, [] { throw std::runtime_error("timer"); });
  ASSERT_TRUE(WaitUntil([&] { return errors.size() == 2; }));
  EXPECT_EQ(errors, (std::vector<std::string>{"posted", "timer"}));
}

TEST(QtEventLoopTest, NothingRunsAfterTheLoopIsGone) {
  bool ran = false;
  {
    QtEventLoop loop;
    loop.Post([&] { ran = true; });
    loop.StartTimer(0, [&] { ran = true; });
  }
  WaitUntil([] { return false; }, 50);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace kelvo::testing
