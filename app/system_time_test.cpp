#include "app/system_time.h"

#include <gtest/gtest.h>

#include "app/test_support.h"

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

TEST(SystemTimeTest, TheLocalOffsetFollowsTheZoneAndItsSummerTime) {
  const SystemTime winter{2026, 12, 4, 10, 2, 0, 0, 0};
  const SystemTime summer{2026, 7, 3, 1, 12, 0, 0, 0};
  {
    const testing::ScopedTimeZone japan("JST-9");
    EXPECT_EQ(LocalUtcOffsetMinutes(winter), 540);
    EXPECT_EQ(LocalUtcOffsetMinutes(summer), 540);
  }
  {
    const testing::ScopedTimeZone newYork("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(LocalUtcOffsetMinutes(winter), -300);
    EXPECT_EQ(LocalUtcOffsetMinutes(summer), -240);
  }
  {
    const testing::ScopedTimeZone india("IST-5:30");
    EXPECT_EQ(LocalUtcOffsetMinutes(winter), 330);
  }
  EXPECT_EQ(LocalUtcOffsetMinutes({}), 0) << "no time, no offset";
}

TEST(SystemTimeTest, ShiftingCrossesDaysAndYears) {
  EXPECT_EQ(ShiftedBy({2026, 12, 4, 31, 20, 15, 0, 0}, 540), (SystemTime{2027, 1, 5, 1, 5, 15, 0, 0}));
  EXPECT_EQ(ShiftedBy({2026, 3, 0, 1, 2, 0, 0, 0}, -300), (SystemTime{2026, 2, 6, 28, 21, 0, 0, 0}));
  EXPECT_TRUE(ShiftedBy({}, 540).IsZero());
}

}  // namespace
}  // namespace kestrune
