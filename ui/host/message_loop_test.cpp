#include "ui/host/message_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

/// A loop whose dispatcher records "window:code:wParam".
class MessageLoopTest : public ::testing::Test {
 protected:
  MessageLoopTest() {
    loop.SetDispatcher([this](const LoopMessage& m) {
      seen.push_back(Name(m.window) + ":" + std::to_string(m.code) + ":" +
                     std::to_string(m.wParam));
      if (onDispatch) onDispatch(m);
    });
  }
  std::string Name(WindowHandle window) const {
    return window == a ? "a" : window == b ? "b" : "?";
  }
  bool RunFor(milliseconds time) {
    return loop.RunUntil([] { return false; }, Clock::now() + time);
  }

  MessageLoop loop;
  WindowHandle a = loop.NewWindow();
  WindowHandle b = loop.NewWindow();
  std::vector<std::string> seen;
  std::function<void(const LoopMessage&)> onDispatch;
};

TEST_F(MessageLoopTest, PostsFromAnyThreadArriveInOneOrder) {
  std::thread other([this] {
    for (int i = 0; i < 3; ++i) loop.Post(i % 2 == 0 ? a : b, 0x9002, i, 0);
  });
  other.join();
  loop.Post(a, 0x9003, 9, 0);
  loop.RunUntil([this] { return seen.size() == 4; }, Clock::now() + milliseconds(1000));
  EXPECT_EQ(seen, (std::vector<std::string>{"a:36866:0", "b:36866:1", "a:36866:2", "a:36867:9"}));
}

TEST_F(MessageLoopTest, ARemovedWindowLosesItsQueueAndTakesNoMore) {
  loop.Post(a, 1, 0, 0);
  loop.Post(b, 2, 0, 0);
  ASSERT_TRUE(loop.SetTimer(a, 7, 10));
  loop.RemoveWindow(a);
  EXPECT_FALSE(loop.IsWindow(a));
  EXPECT_FALSE(loop.Post(a, 3, 0, 0));
  EXPECT_FALSE(loop.SetTimer(a, 8, 10));
  RunFor(milliseconds(50));
  EXPECT_EQ(seen, (std::vector<std::string>{"b:2:0"}));
  EXPECT_NE(loop.NewWindow(), a) << "handles are never reused";
}

TEST_F(MessageLoopTest, TimersTickOnlyWhenNothingElseWaitsAndNeverPileUp) {
  ASSERT_TRUE(loop.SetTimer(a, 5, 0));
  int ticks = 0;
  onDispatch = [&](const LoopMessage& m) {
    if (m.code != wm::kTimer) return;
    ++ticks;
    // A slow handler: the ticks it misses are not delivered afterwards.
    if (ticks == 1) std::this_thread::sleep_for(milliseconds(60));
    if (ticks == 1) loop.Post(b, 1, 0, 0);
  };
  loop.RunUntil([&] { return ticks == 2; }, Clock::now() + milliseconds(1000));
  ASSERT_EQ(ticks, 2);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1], "b:1:0") << "the posted message goes before the next tick";
  loop.KillTimer(a, 5);
  RunFor(milliseconds(40));
  EXPECT_EQ(ticks, 2);
}

TEST_F(MessageLoopTest, SettingARunningTimerRestartsIt) {
  ASSERT_TRUE(loop.SetTimer(a, 1, 200));
  RunFor(milliseconds(50));
  const auto restarted = Clock::now();
  ASSERT_TRUE(loop.SetTimer(a, 1, 200));
  loop.RunUntil([this] { return !seen.empty(); }, Clock::now() + milliseconds(2000));
  EXPECT_EQ(seen, (std::vector<std::string>{"a:275:1"}));
  EXPECT_GE(Clock::now() - restarted, milliseconds(200));
}

TEST_F(MessageLoopTest, InputWaitsForThePostedMessages) {
  loop.Post(a, 1, 0, 0);
  loop.PostInput([this] { seen.push_back("input"); });
  loop.Post(b, 2, 0, 0);
  loop.RunUntil([this] { return seen.size() == 3; }, Clock::now() + milliseconds(500));
  EXPECT_EQ(seen, (std::vector<std::string>{"a:1:0", "b:2:0", "input"}));
}

TEST_F(MessageLoopTest, AQuitEndsTheInnerAndTheOuterLoop) {
  bool innerEnded = false;
  onDispatch = [&](const LoopMessage& m) {
    if (m.code != 1) return;
    loop.PostQuit(3);
    innerEnded = !loop.RunUntil([] { return false; });
  };
  loop.Post(a, 1, 0, 0);
  EXPECT_FALSE(loop.RunUntil([] { return false; }));
  EXPECT_TRUE(innerEnded);
  EXPECT_EQ(loop.QuitCode(), 3);
  loop.ClearQuit();
  EXPECT_FALSE(loop.QuitCode().has_value());
}

TEST_F(MessageLoopTest, AnIdleLoopJumpsToItsNextTimer) {
  bool idle = true;
  loop.EnableIdleJumps([&] { return idle; });
  ASSERT_TRUE(loop.SetTimer(a, 1, 30000));
  const auto started = Clock::now();
  loop.RunUntil([this] { return !seen.empty(); }, Clock::now() + milliseconds(2000));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_LT(Clock::now() - started, milliseconds(1000));

  idle = false;  // busy elsewhere: real time again
  ASSERT_TRUE(loop.SetTimer(b, 1, 30000));
  RunFor(milliseconds(50));
  EXPECT_EQ(seen.size(), 1u);
}

}  // namespace
}  // namespace kestrune::ui::host
