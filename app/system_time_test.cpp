#include "app/system_time.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(SystemTimeTest, MillisecondsSince1601RoundTrip) {
  // 2000-01-01 00:00 UTC is FILETIME 125911584000000000 (100 ns units), a Saturday.
  const SystemTime y2k{2000, 1, 6, 1, 0, 0, 0, 0};
  EXPECT_EQ(SystemTimeToMilliseconds(y2k), 12'591'158'400'000u);
  EXPECT_EQ(SystemTimeFromMilliseconds(12'591'158'400'000u), y2k);

  const SystemTime leapDay{2024, 2, 4, 29, 23, 59, 58, 999};  // a Thursday
  EXPECT_EQ(SystemTimeFromMilliseconds(SystemTimeToMilliseconds(leapDay)), leapDay);
  EXPECT_EQ(SystemTimeToMilliseconds(leapDay) + 1001,
            SystemTimeToMilliseconds({2024, 3, 5, 1, 0, 0, 0, 0}));

  EXPECT_EQ(SystemTimeToMilliseconds({}), 0u);
  EXPECT_TRUE(SystemTimeFromMilliseconds(0).IsZero());
  EXPECT_EQ(SystemTimeToMilliseconds({2023, 2, 0, 30, 0, 0, 0, 0}), 0u) << "no such day";

  const SystemTime now = CurrentSystemTime();
  EXPECT_GE(now.wYear, 2024);
  EXPECT_EQ(SystemTimeFromMilliseconds(SystemTimeToMilliseconds(now)), now);
}

}  // namespace
}  // namespace kestrune
