// The USB writer's progress, measured by the space used on the drive.
#include "engine/usb_progress.h"

#include <gtest/gtest.h>

#include <optional>

namespace kestrune::usb {
namespace {

platform::VolumeSpace Used(uint64_t used, uint64_t total = 64ull << 30) {
  return {total - used, total, total - used};
}

TEST(ProgressGaugeTest, RisesOnlyAndStopsAt990) {
  constexpr uint64_t kMiB = 1 << 20;
  // Two images of 4 GiB each; the drive fills from 8 MiB to 8 GiB.
  ProgressGauge gauge(8ull << 30);
  EXPECT_FALSE(gauge.Next(Used(8 * kMiB))) << "0 is never posted";
  EXPECT_EQ(gauge.Next(Used(9 * kMiB)), 1u);
  EXPECT_FALSE(gauge.Next(Used(9 * kMiB + 1))) << "not above the last one";
  EXPECT_EQ(gauge.Next(Used(4096 * kMiB)), 500u);
  EXPECT_FALSE(gauge.Next(Used(2048 * kMiB))) << "space freed again posts nothing";
  EXPECT_EQ(gauge.Next(Used(8191 * kMiB)), 990u);
  EXPECT_FALSE(gauge.Next(Used(8192 * kMiB)));
  EXPECT_FALSE(gauge.Next(Used(16384 * kMiB))) << "more than the images never exceeds 990";

  ProgressGauge huge(1ull << 62);
  EXPECT_EQ(huge.Next(Used(1ull << 61, ~0ull)), 500u) << "no overflow in 64 bits";
  ProgressGauge empty(0);
  EXPECT_FALSE(empty.Next(Used(kMiB)));
  EXPECT_FALSE(ProgressGauge(100).Next({200, 100, 200})) << "more free than total is used 0";
}

TEST(ProgressGaugeTest, PerMilleAtEachLimitOfAThousandMiBSet) {
  constexpr uint64_t kMiB = 1 << 20;
  const struct {
    uint64_t used;
    std::optional<uint32_t> posted;
    const char* why;
  } cases[] = {
      {0, std::nullopt, "nothing written: 0 is never posted"},
      {kMiB - 1, std::nullopt, "still below one per mille"},
      {kMiB, 1, "one per mille"},
      {990 * kMiB - 1, 989, "one byte short of 990"},
      {990 * kMiB, 990, "exactly 990"},
      {991 * kMiB, 990, "above 990 the gauge waits for the job's end"},
      {1000 * kMiB - 1, 990, "one byte short of the whole set"},
      {1000 * kMiB, 990, "the whole set"},
      {1001 * kMiB, 990, "more than the set"},
  };
  for (const auto& c : cases) {
    ProgressGauge gauge(1000 * kMiB);
    EXPECT_EQ(gauge.Next(Used(c.used)), c.posted) << c.why;
  }
}

}  // namespace
}  // namespace kestrune::usb
