#include "wizard/time_left.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrune {
namespace {

constexpr uint64_t kMB = 1'000'000;

/// A step of `total` bytes done at `bytesPerSecond`, noted every `stepMs` on a clock that
/// the test moves: how far the shown time left is from the truth, at worst, after `after` ms.
double WorstError(TimeLeftEstimator& estimator, uint64_t total, double bytesPerSecond,
                  uint64_t stepMs, uint64_t after) {
  double worst = 0;
  for (uint64_t now = 0;; now += stepMs) {
    const auto done =
        std::min<uint64_t>(total, static_cast<uint64_t>(bytesPerSecond * static_cast<double>(now) / 1000));
    estimator.Note(now, done, total);
    if (done == total) break;
    const auto estimate = estimator.Current();
    if (now < after) continue;
    EXPECT_TRUE(estimate) << now;
    if (!estimate) return 1;
    const double truth = static_cast<double>(total - done) / bytesPerSecond;
    if (truth > 10) {
      worst = std::max(worst, std::abs(static_cast<double>(estimate->secondsLeft) - truth) / truth);
    }
  }
  return worst;
}

TEST(TimeLeftTest, AFixedSpeedIsFoundWithinTenPerCentAfterTheFirstSeconds) {
  // A DVD at about 11 MB/s and a stick at 30 MB/s, noted each second and each half second.
  TimeLeftEstimator disc;
  EXPECT_LT(WorstError(disc, 8'500 * kMB, 11.08 * kMB, 1000, 5000), 0.10);
  ASSERT_TRUE(disc.Current());
  TimeLeftEstimator stick;
  EXPECT_LT(WorstError(stick, 4'000 * kMB, 30 * kMB, 500, 5000), 0.10);
  EXPECT_NEAR(stick.Current()->bytesPerSecond, 30 * kMB, 0.5 * kMB);
}

TEST(TimeLeftTest, NothingIsShownUntilTheWindowSpansTheWarmUp) {
  TimeLeftEstimator estimator(10'000, 3'000);
  estimator.Note(0, 0, 100 * kMB);
  estimator.Note(1'000, 1 * kMB, 100 * kMB);
  estimator.Note(2'000, 2 * kMB, 100 * kMB);
  EXPECT_FALSE(estimator.Current());
  estimator.Note(3'000, 3 * kMB, 100 * kMB);
  ASSERT_TRUE(estimator.Current());
  EXPECT_EQ(estimator.Current()->secondsLeft, 97u);
  // A new step starts over.
  estimator.Reset();
  estimator.Note(4'000, 0, 100 * kMB);
  EXPECT_FALSE(estimator.Current());
  // So does a step whose count goes back.
  estimator.Note(8'000, 50 * kMB, 100 * kMB);
  ASSERT_TRUE(estimator.Current());
  estimator.Note(9'000, 1 * kMB, 100 * kMB);
  EXPECT_FALSE(estimator.Current());
}

TEST(TimeLeftTest, AMomentOfSlownessHoldsTheTimeLeftInsteadOfPushingItBack) {
  TimeLeftEstimator estimator;
  uint64_t done = 0, now = 0;
  for (; now <= 20'000; now += 1000, done += 10 * kMB) estimator.Note(now, done, 1'000 * kMB);
  const uint64_t before = estimator.Current()->secondsLeft;
  // Five seconds of almost nothing (a recorder recalibrating): the raw figure more than
  // doubles, the shown one may rise by its noise at most.
  for (int i = 0; i < 5; ++i, now += 1000, done += kMB / 10) {
    estimator.Note(now, done, 1'000 * kMB);
    EXPECT_LE(estimator.Current()->secondsLeft,
              static_cast<uint64_t>(std::ceil(static_cast<double>(before) * 1.1)) + 2)
        << "second " << i;
  }
  // Speed back, the time left comes down again.
  for (int i = 0; i < 15; ++i, now += 1000, done += 10 * kMB) estimator.Note(now, done, 1'000 * kMB);
  const double truth = static_cast<double>(1'000 * kMB - done) / (10.0 * kMB);
  EXPECT_NEAR(static_cast<double>(estimator.Current()->secondsLeft), truth, truth * 0.1);
}

TEST(TimeLeftTest, AStepThatStaysSlowerForAWholeWindowShowsItsNewTimeLeft) {
  TimeLeftEstimator estimator(10'000, 3'000);
  uint64_t done = 0, now = 0;
  for (; now <= 10'000; now += 1000, done += 10 * kMB) estimator.Note(now, done, 1'000 * kMB);
  // From here on a fifth of the speed, for good.
  for (; now <= 40'000; now += 1000, done += 2 * kMB) estimator.Note(now, done, 1'000 * kMB);
  const double truth = static_cast<double>(1'000 * kMB - done + 2 * kMB) / (2.0 * kMB);
  EXPECT_NEAR(static_cast<double>(estimator.Current()->secondsLeft), truth, truth * 0.1);
}

}  // namespace
}  // namespace kestrune
