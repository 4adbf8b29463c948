#include "engine/source_survey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "engine/job_protocol.h"

namespace kestrune {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
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

// The limits below are met with images of exact byte sizes. Each case surveys a fresh set.
class SurveyLimitsTest : public ::testing::Test {
 protected:
  /// Surveys a set of sparse images of `sizes` bytes (the survey only measures them).
  std::unique_ptr<RunContext> Survey(const std::vector<uint64_t>& sizes) {
    auto context = std::make_unique<RunContext>();
    for (size_t i = 0; i < sizes.size(); ++i) {
      const auto file =
          folder.WriteFile("set" + std::to_string(++sets) + "/disc" + std::to_string(i + 1), "");
      std::filesystem::resize_file(file, sizes[i]);
      context->sources[i].path.Assign(testing::Wide(file));
    }
    EXPECT_EQ(RunSourceSurvey(*context), RESULT_OK);
    return context;
  }

  testing::TempFolder folder;
  int sets = 0;
};

TEST_F(SurveyLimitsTest, AThirtyTwoGigabyteStickIsAskedForFrom14246MiBOfImages) {
  const struct {
    std::vector<uint64_t> sizes;
    uint32_t requiredMB;
    const wchar_t* usbSize;
    const char* why;
  } cases[] = {
      {{14245 * kMiB}, 14745, L"16", "one MiB below"},
      {{14246 * kMiB - 1}, 14745, L"16", "one byte below: only whole MiB count"},
      {{14246 * kMiB}, 14746, L"32", "exactly at the limit"},
      {{14247 * kMiB - 1}, 14746, L"32", "the last byte of the limit's MiB"},
      {{14247 * kMiB}, 14747, L"32", "one MiB above"},
      {{7123 * kMiB + kMiB / 2, 7122 * kMiB + kMiB / 2},
       14746,
       L"32",
       "the images' bytes are added up before the MiB are counted"},
      {{7123 * kMiB, 7123 * kMiB - 1}, 14745, L"16", "two images one byte short together"},
  };
  for (const auto& c : cases) {
    const auto context = Survey(c.sizes);
    EXPECT_EQ(context->requiredMB, c.requiredMB) << c.why;
    EXPECT_EQ(context->usbSizeGB.view(), c.usbSize) << c.why;
  }
}

TEST_F(SurveyLimitsTest, AUsbDriveIsOfferedUpTo28000MBAndNeverAbove) {
  const struct {
    std::vector<uint64_t> sizes;
    uint32_t requiredMB;
    bool usb;
    const char* why;
  } cases[] = {
      {{27499 * kMiB}, 27999, true, "one MiB below"},
      {{27500 * kMiB}, 28000, true, "exactly at the limit"},
      {{27501 * kMiB - 1}, 28000, true, "the last byte of the limit's MiB"},
      {{27501 * kMiB}, 28001, false, "one MiB above"},
      {{13750 * kMiB, 13751 * kMiB}, 28001, false, "the set counts, not each image"},
  };
  for (const auto& c : cases) {
    const auto context = Survey(c.sizes);
    EXPECT_EQ(context->requiredMB, c.requiredMB) << c.why;
    EXPECT_EQ(context->allowedMediaMask,
              c.usb ? kMaskDvdRDualLayer | kMaskUsbDrive : kMaskDvdRDualLayer)
        << c.why;
    EXPECT_EQ(context->usbSizeGB.view(), L"32") << c.why;
  }
}

TEST_F(SurveyLimitsTest, EveryOneOfNineImagesIsADiscOfTheSetAndOfTheEstimate) {
  // Empty images: 200 seconds per disc, rounded up to whole minutes and then to tens.
  const uint32_t minutes[] = {10, 10, 10, 20, 20, 20, 30, 30, 30};
  for (uint32_t discs = 1; discs <= kMaxSources; ++discs) {
    std::vector<uint64_t> sizes(discs, 0);
    sizes.back() = kMiB;
    const auto context = Survey(sizes);
    EXPECT_EQ(context->sourceCount, discs);
    EXPECT_EQ(context->sources[discs - 1].sizeBytes, kMiB) << discs << " discs";
    EXPECT_EQ(context->requiredMB, 501u) << discs << " discs";
    EXPECT_EQ(context->estimatedMinutes, minutes[discs - 1]) << discs << " discs";
  }
}

TEST_F(SurveyLimitsTest, TheEstimateCountsWholeThousandsOfMiBAndRoundsUpToTensOfMinutes) {
  const struct {
    uint32_t discs;
    uint64_t mib;
    uint32_t minutes;
    const char* why;
  } cases[] = {
      {3, 0, 10, "600 s are exactly 10 minutes"},
      {3, 999, 10, "999 MiB are no whole thousand"},
      {3, 1000, 20, "895 s: 15 minutes, rounded up to 20"},
      {2, 9000, 60, "3055 s: 51 minutes"},
      {2, 17000, 100, "5415 s: 91 minutes"},
      {5, 19000, 120, "6605 s: 111 minutes"},
      {1, 20000, 110, "6100 s: 102 minutes"},
      {2, 21000, 110, "6595 s: 110 minutes, already a multiple of ten"},
  };
  for (const auto& c : cases) {
    std::vector<uint64_t> sizes(c.discs, 0);
    sizes[0] = c.mib * kMiB;
    const auto context = Survey(sizes);
    EXPECT_EQ(context->estimatedMinutes, c.minutes) << c.why;
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
