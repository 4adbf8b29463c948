#include "platform/host/window_table.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrune::platform::host {
namespace {

using std::chrono::milliseconds;

TEST(WindowTableTest, MessagesArriveInOrderPerWindow) {
  WindowTable table;
  const auto first = table.Create();
  const auto second = table.Create();
  EXPECT_NE(first, second);
  EXPECT_TRUE(table.Post(first, 1, 10, -1));
  EXPECT_TRUE(table.Post(second, 2, 20, 0));
  EXPECT_TRUE(table.Post(first, 3, 30, 0x20040001));
  EXPECT_EQ(table.TakeAll(first), (std::vector<PostedMessage>{{1, 10, -1}, {3, 30, 0x20040001}}));
  EXPECT_EQ(table.Take(second, milliseconds(0)), (PostedMessage{2, 20, 0}));
  EXPECT_EQ(table.Take(second, milliseconds(10)), std::nullopt);
}

TEST(WindowTableTest, DestroyedWindowIsGoneForGood) {
  WindowTable table;
  const auto window = table.Create();
  table.Post(window, 1, 0, 0);
  table.Destroy(window);
  EXPECT_FALSE(table.IsWindow(window));
  EXPECT_FALSE(table.Post(window, 2, 0, 0));
  EXPECT_TRUE(table.TakeAll(window).empty());
  EXPECT_NE(table.Create(), window) << "handles are never reused";
}

TEST(WindowTableTest, TakeWaitsForAPostFromAnotherThread) {
  WindowTable table;
  const auto window = table.Create();
  std::thread poster([&] {
    std::this_thread::sleep_for(milliseconds(50));
    table.Post(window, 7, 0, 0);
  });
  const auto message = table.Take(window, milliseconds(5000));
  poster.join();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->code, 7u);
}

}  // namespace
}  // namespace kestrune::platform::host
