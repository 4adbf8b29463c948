#include "app/run_context.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using namespace disc_state;

constexpr uint32_t kEveryOtherBit = kSetComplete | kDualLayerSetStarted | kMediaCodeMask;

TEST(DiscStateTest, DiscMarksLieBetweenTheMediaCodeAndTheSetBits) {
  EXPECT_EQ(DiscWritten(1), 0x100u);
  EXPECT_EQ(DiscWritten(9), 0x10000u);
  const uint32_t allDiscs = DiscMarks(~0u, 9);
  EXPECT_EQ(allDiscs, 0x1ff00u);
  EXPECT_EQ(allDiscs & kEveryOtherBit, 0u);

  for (uint32_t disc = 1; disc <= 9; ++disc) {
    EXPECT_FALSE(IsDiscWritten(kEveryOtherBit, disc)) << disc;
    EXPECT_TRUE(IsDiscWritten(DiscWritten(disc), disc)) << disc;
  }
  EXPECT_FALSE(IsDiscWritten(DiscWritten(1), 2));
  EXPECT_EQ(MediaCode(allDiscs), 0u);
  EXPECT_FALSE(IsDualLayerSetStarted(allDiscs | kSetComplete));
  EXPECT_EQ(MediaCode(kEveryOtherBit), kMediaCodeMask);
  EXPECT_EQ(MediaCode(0x2000000b | DiscWritten(1)), kMediaDvdRDualLayer);
}

TEST(DiscStateTest, ASetCountsOnlyItsOwnDiscs) {
  EXPECT_EQ(DiscMarks(~0u, 0), 0u);
  EXPECT_EQ(DiscMarks(~0u, 1), DiscWritten(1));
  EXPECT_EQ(DiscMarks(~0u, 12), DiscMarks(~0u, 9)) << "never past disc 9";
  EXPECT_EQ(DiscMarks(DiscWritten(3) | kEveryOtherBit, 2), 0u);

  EXPECT_TRUE(AllDiscsWritten(DiscWritten(1) | DiscWritten(2), 2));
  EXPECT_TRUE(AllDiscsWritten(DiscWritten(1) | DiscWritten(2), 1));
  EXPECT_FALSE(AllDiscsWritten(DiscWritten(2), 2));
  EXPECT_TRUE(AllDiscsWritten(0x1ff00, 9));
  EXPECT_FALSE(AllDiscsWritten(0x1fe00 | kEveryOtherBit, 9)) << "disc 1 missing";
  EXPECT_FALSE(AllDiscsWritten(0xff00 | kEveryOtherBit, 9)) << "disc 9 missing";
  EXPECT_TRUE(AllDiscsWritten(0, 0));
}

TEST(DiscStateTest, WritingADiscAddsItsMarkAndRecordsTheMedia) {
  EXPECT_EQ(WithDiscWritten(0, 1, kMediaDvdRDualLayer),
            DiscWritten(1) | kDualLayerSetStarted | kMediaDvdRDualLayer);
  EXPECT_EQ(WithDiscWritten(DiscWritten(1), 9, kMediaDvdRDualLayer),
            DiscWritten(1) | DiscWritten(9) | kDualLayerSetStarted | kMediaDvdRDualLayer);
  EXPECT_EQ(WithDiscWritten(kMediaCodeMask, 2, kMediaDvdRDualLayer),
            DiscWritten(2) | kDualLayerSetStarted | kMediaDvdRDualLayer)
      << "a stale media code is replaced, not combined";
  EXPECT_EQ(WithDiscWritten(kSetComplete, 2, kMediaDvdRDualLayer) & kSetComplete, kSetComplete);
  EXPECT_EQ(WithDiscWritten(DiscWritten(1) | kDualLayerSetStarted | 11, 2, kMediaUsbDrive),
            DiscWritten(1) | DiscWritten(2))
      << "no other media is continued later";
}

}  // namespace
}  // namespace kestrune
