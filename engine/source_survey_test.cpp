#include "engine/source_survey.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "engine/job_protocol.h"

namespace kestrune {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

class SourceSurveyTest : public ::testing::Test {
 protected:
  // Sparse image files: sizes without the disk space.
  void AddSource(const std::string& name, uint64_t size) {
    const auto file = folder.WriteFile(name, "");
    std::filesystem::resize_file(file, size);
    context.sources[context.sourceCount++].path.Assign(testing::Wide(file));
  }

  testing::TempFolder folder;
  RunContext context{};
};

TEST_F(SourceSurveyTest, TenGibibytesFitASixteenGigabyteDrive) {
  AddSource("disc1.iso", 6 * kGiB);
  AddSource("disc2.iso", 4 * kGiB);
  ASSERT_EQ(RunSourceSurvey(context), RESULT_OK);
  EXPECT_EQ(context.sourceCount, 2u);
  EXPECT_EQ(context.sources[0].sizeBytes, 6 * kGiB);
  EXPECT_EQ(context.requiredMB, 10740u);
  EXPECT_EQ(context.usbSizeGB.view(), L"16");
  EXPECT_EQ(context.allowedMediaMask, 0x100800u);
  // 10 x 295 s + 2 x 200 s = 3350 s -> 56 minutes -> 60.
  EXPECT_EQ(context.estimatedMinutes, 60u);
}

TEST_F(SourceSurveyTest, UsbSizeAndMediaAtTheLimits) {
  struct Case {
    uint64_t gib;
    uint32_t requiredMB;
    const wchar_t* usbSize;
    uint32_t mask;
  };
  for (const Case& c : {Case{13, 13812, L"16", 0x100800}, Case{14, 14836, L"32", 0x100800},
                        Case{27, 28148, L"32", 0x800}}) {
    RunContext own{};
    const auto file = folder.WriteFile("set" + std::to_string(c.gib) + ".iso", "");
    std::filesystem::resize_file(file, c.gib * kGiB);
    own.sources[0].path.Assign(testing::Wide(file));
    ASSERT_EQ(RunSourceSurvey(own), RESULT_OK);
    EXPECT_EQ(own.requiredMB, c.requiredMB) << c.gib;
    EXPECT_EQ(own.usbSizeGB.view(), c.usbSize) << c.gib;
    EXPECT_EQ(own.allowedMediaMask, c.mask) << c.gib;
    EXPECT_EQ(own.estimatedMinutes % 10, 0u);
  }
}

TEST_F(SourceSurveyTest, EstimateRoundsUpToTenMinutes) {
  AddSource("small.iso", 1);  // 0 whole thousands of MiB, one disc: 200 s -> 4 min -> 10
  ASSERT_EQ(RunSourceSurvey(context), RESULT_OK);
  EXPECT_EQ(context.requiredMB, 500u);
  EXPECT_EQ(context.estimatedMinutes, 10u);
}

TEST_F(SourceSurveyTest, MissingFirstEntryMeansNoSourcesEvenWithLaterOnes) {
  context.sources[0].path.Assign(testing::Wide(folder.path()) + L"/gone.iso");
  context.sourceCount = 1;
  AddSource("disc2.iso", kGiB);
  context.usbSizeGB.Assign(L"16");
  EXPECT_EQ(RunSourceSurvey(context), RESULT_NO_SOURCES);
  EXPECT_EQ(context.sourceCount, 0u);
  EXPECT_EQ(context.requiredMB, 0u);
  EXPECT_TRUE(context.usbSizeGB.empty());
}

TEST_F(SourceSurveyTest, StopsAtTheFirstEntryThatCannotBeRead) {
  AddSource("disc1.iso", kGiB);
  context.sources[1].path.Assign(testing::Wide(folder.path()) + L"/gone.iso");
  context.sourceCount = 2;
  AddSource("disc3.iso", kGiB);
  ASSERT_EQ(RunSourceSurvey(context), RESULT_OK);
  EXPECT_EQ(context.sourceCount, 1u);
  EXPECT_EQ(context.requiredMB, 1024u + 500u);
}

TEST_F(SourceSurveyTest, FolderCountsWithSizeZero) {
  context.sources[0].path.Assign(testing::Wide(folder.path()));
  ASSERT_EQ(RunSourceSurvey(context), RESULT_OK);
  EXPECT_EQ(context.sourceCount, 1u);
  EXPECT_EQ(context.requiredMB, 500u);
}

}  // namespace
}  // namespace kestrune
