#include "verify/check_progress.h"

#include <gtest/gtest.h>

#include "app/test_support.h"

namespace kestrune {
namespace {

TEST(CheckProgressTest, OnlyOneWholeSensibleLineIsBelieved) {
  const auto good = ParseCheckProgress("1024 4096 7\n");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->bytesDone, 1024u);
  EXPECT_EQ(good->bytesTotal, 4096u);
  EXPECT_EQ(good->files, 7u);
  EXPECT_TRUE(ParseCheckProgress("0 0 0\n"));
  for (const char* bad : {"", "\n", "1024 4096 7", "1024 40 7", "5000 4096 7\n", "-1 4096 7\n",
                          "1024  4096 7\n", "1024 4096 7\n\n", "1024 4096 7 x\n", "a b c\n",
                          "99999999999999999999999 1 1\n", "1024 4096\n"}) {
    EXPECT_FALSE(ParseCheckProgress(bad)) << '"' << bad << '"';
  }
}

TEST(CheckProgressTest, FilesThatAreMissingOrTooLongGiveNothing) {
  testing::TempFolder folder;
  EXPECT_FALSE(ReadCheckProgress(testing::Wide(folder.path() / "progress.txt")));
  folder.WriteFile("progress.txt", "10 20 1\n");
  const auto read = ReadCheckProgress(testing::Wide(folder.path() / "progress.txt"));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->bytesDone, 10u);
  folder.WriteFile("long.txt", "1 2 1\n" + std::string(100, ' '));
  EXPECT_FALSE(ReadCheckProgress(testing::Wide(folder.path() / "long.txt")));
}

TEST(CheckProgressTest, TheMessageCountsWholeKiBAndReachesTheTotalOnlyAtTheEnd) {
  struct Case {
    uint64_t done, total;
    uintptr_t totalKiB;
    intptr_t doneKiB;
  };
  for (const Case& c : {Case{0, 1, 1, 0}, Case{1, 1, 1, 1}, Case{1023, 1025, 2, 0},
                        Case{1025, 1025, 2, 2}, Case{2048, 4096, 4, 2},
                        Case{uint64_t{3} << 40, uint64_t{4} << 40, 0x7fffffff, 0x7fffffff}}) {
    const CheckProgressMessage message = ToMessage({c.done, c.total, 1});
    EXPECT_EQ(message.totalKiB, c.totalKiB) << c.done << " of " << c.total;
    EXPECT_EQ(message.doneKiB, c.doneKiB) << c.done << " of " << c.total;
  }
}

}  // namespace
}  // namespace kestrune
