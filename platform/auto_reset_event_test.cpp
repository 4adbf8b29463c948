#include "platform/auto_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrune::platform {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEventTest, AWaitThatSeesTheSignalConsumesIt) {
  AutoResetEvent event;
  EXPECT_FALSE(event.TryConsume());
  event.Set();
  event.Set();  // setting twice is still one signal
  EXPECT_TRUE(event.Wait(milliseconds(0)));
  EXPECT_FALSE(event.Wait(milliseconds(20)));
}

TEST(AutoResetEventTest, ResetClearsAPendingSignal) {
  AutoResetEvent event;
  event.Set();
  event.Reset();
  EXPECT_FALSE(event.TryConsume());
}

TEST(AutoResetEventTest, OneSignalReleasesOneOfTwoWaiters) {
  AutoResetEvent event;
  std::atomic<int> released{0};
  auto waiter = [&] {
    if (event.Wait(milliseconds(2000))) ++released;
  };
  std::thread first(waiter), second(waiter);
  std::this_thread::sleep_for(milliseconds(100));
  event.Set();
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 1);
}

}  // namespace
}  // namespace kestrune::platform
