#include "sabrel/parallel_digest.h"

#include <gtest/gtest.h>

#include "sabrel/digest_text.h"
#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

namespace fs = std::filesystem;
using testing::Md5Hex;
using testing::TempFolder;
using testing::WriteFile;

TEST(ParallelDigestTest, ResultsComeBackInJobOrderForAnyWorkerCount) {
  TempFolder folder;
  std::vector<DigestJob> jobs;
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    // Sizes out of order, so that the largest-first schedule differs from job order.
    const std::string content(static_cast<std::size_t>((i * 7919) % 50000),
                              static_cast<char>('a' + i % 26));
    const fs::path path = folder.path() / ("f" + std::to_string(i));
    WriteFile(path, content);
    jobs.push_back({path, content.size()});
    expected.push_back(Md5Hex(content));
  }
  jobs.push_back({folder.path() / "absent", 0});
  for (const unsigned workers : {1u, 2u, 3u, 8u, 64u}) {
    const std::vector<FileDigest> results = DigestInParallel(jobs, workers, 4096);
    ASSERT_EQ(results.size(), jobs.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(results[i].outcome, DigestOutcome::kDone) << i;
      EXPECT_EQ(DigestToHex(results[i].digest), expected[i]) << "job " << i << ", " << workers;
    }
    EXPECT_EQ(results.back().outcome, DigestOutcome::kMissing);
  }
}

TEST(ParallelDigestTest, NoJobsAndWorkerCounts) {
  EXPECT_TRUE(DigestInParallel({}, 4).empty());
  EXPECT_EQ(DefaultWorkerCount(0), 1u);
  EXPECT_EQ(DefaultWorkerCount(1), 1u);
  EXPECT_LE(DefaultWorkerCount(1000), kMaxWorkers);
  EXPECT_GE(DefaultWorkerCount(1000), 1u);
}

}  // namespace
}  // namespace kestrune::sabrel
