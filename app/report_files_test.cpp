#include "app/report_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/test_support.h"
#include "platform/host/host_file_tree.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

/// A clock the test moves by hand.
struct HandClock {
  uint64_t ms = SystemTimeToMilliseconds(SystemTime{2026, 12, 0, 10, 9, 5, 7, 0});
  SystemTime operator()() const { return SystemTimeFromMilliseconds(ms); }
};

TEST(RunReportTest, MediaAndStepsCarryTheirResultsFiguresAndTimes) {
  HandClock clock;
  RunReport report([&] { return clock(); });
  EXPECT_FALSE(report.HasMedia());
  report.SetRun(L"Sample", 0x2000000B);

  report.BeginMedium(MediumKind::kDisc, 1, 2, L"E:", 4000);
  report.BeginStep(ReportStep::kWrite);
  clock.ms += 90'500;
  report.EndStep(StepResult::kPassed);
  report.AddStep({ReportStep::kBurnVerification, StepResult::kPassed, 0, 4000, 20'000, {}});
  report.BeginStep(ReportStep::kComparison);
  report.NoteCovered(3, 2000);
  report.NoteFirstDifference(L"sources\\install.swm");
  report.NoteFirstDifference(L"later.txt");
  report.NoteCovered(7, 4000);
  clock.ms += 1'000;
  report.EndStep(StepResult::kFailed);
  report.EndMedium();

  report.BeginMedium(MediumKind::kDisc, 2, 2, L"E:", 4000);
  report.BeginStep(ReportStep::kWrite);
  report.NoteFirstDifference(L"kept only for a failure");
  // The recorder breaks off the burn the user cancelled: a failure, and the cancel's doing.
  report.NoteCancelled();
  report.EndStep(StepResult::kFailed);
  report.EndMedium();

  const ReportFacts facts = report.Facts(0x2000010B);
  ASSERT_EQ(facts.media.size(), 2u);
  const MediumRecord& first = facts.media[0];
  EXPECT_EQ(first.result, MediumResult::kFailed);
  EXPECT_EQ(first.milliseconds, 91'500u);
  EXPECT_EQ(first.started.wSecond, 7);
  ASSERT_EQ(first.steps.size(), 3u);
  EXPECT_EQ(first.steps[0].milliseconds, 90'500u);
  EXPECT_EQ(first.steps[2].files, 7u) << "the last figures count";
  EXPECT_EQ(first.steps[2].bytes, 4000u);
  EXPECT_EQ(first.steps[2].firstDifference, L"sources\\install.swm") << "the first one counts";
  EXPECT_EQ(facts.media[1].result, MediumResult::kCancelled);
  EXPECT_TRUE(facts.media[1].steps[0].firstDifference.empty());
  EXPECT_EQ(facts.stateWordAfter, 0x2000010Bu);
}

TEST(RunReportTest, AMediumLeftOpenByAWorkerLeftBehindCountsAsCancelled) {
  HandClock clock;
  RunReport report([&] { return clock(); });
  report.BeginMedium(MediumKind::kUsb, 1, 1, L"F:", 10);
  report.BeginStep(ReportStep::kWrite);
  report.EndStep(StepResult::kPassed);
  report.BeginStep(ReportStep::kMd5Check);
  clock.ms += 5'000;
  const ReportFacts facts = report.Facts(std::nullopt);
  ASSERT_EQ(facts.media.size(), 1u);
  EXPECT_EQ(facts.media[0].result, MediumResult::kCancelled);
  EXPECT_EQ(facts.media[0].steps[1].result, StepResult::kCancelled);
  EXPECT_EQ(facts.media[0].steps[1].milliseconds, 5'000u);
  EXPECT_FALSE(facts.stateWordAfter);
  // Steps outside a medium are not the report's.
  RunReport empty;
  empty.BeginStep(ReportStep::kWrite);
  empty.EndStep(StepResult::kFailed);
  EXPECT_FALSE(empty.HasMedia());
}

ReportFacts TwoDiscs() {
  ReportFacts facts;
  facts.label = L"Sample \"A\\B\"\n";
  facts.version = "0.1.0";
  facts.stateWordBefore = 0;
  facts.stateWordAfter = 0x8000030B;
  MediumRecord disc;
  disc.device = L"E:";
  disc.of = 2;
  disc.result = MediumResult::kWritten;
  disc.started = SystemTime{2026, 12, 0, 10, 9, 5, 7, 0};
  disc.milliseconds = 120'250;
  disc.bytes = 8'000'000;
  disc.steps = {{ReportStep::kWrite, StepResult::kPassed, 0, 8'000'000, 100'000, {}},
                {ReportStep::kBurnVerification, StepResult::kSkipped, 0, 0, 0, {}},
                {ReportStep::kComparison, StepResult::kPassed, 12, 8'000'000, 20'250, {}}};
  facts.media.push_back(disc);
  disc.number = 2;
  disc.result = MediumResult::kFailed;
  disc.steps[2] = {ReportStep::kComparison, StepResult::kFailed, 3, 1024, 1'000,
                   L"sources\\\u30c7\u30fc\u30bf.swm"};
  facts.media.push_back(disc);
  return facts;
}

TEST(ReportFormatTest, TheJsonHasTheAgreedShape) {
  const std::string json = FormatReportJson(TwoDiscs());
  EXPECT_THAT(json, HasSubstr("\"label\": \"Sample \\\"A\\\\B\\\"\\u000a\""));
  EXPECT_THAT(json, HasSubstr("\"version\": \"0.1.0\""));
  EXPECT_THAT(json, HasSubstr("\"stateWordBefore\": 0,"));
  EXPECT_THAT(json, HasSubstr("\"stateWordAfter\": 2147484427,"));
  EXPECT_THAT(json, HasSubstr("{\"kind\": \"disc\", \"number\": 1, \"of\": 2, \"device\": \"E:\", "
                              "\"result\": \"written\", \"started\": \"2026-12-10T09:05:07Z\", "
                              "\"seconds\": 120.250, \"bytes\": 8000000,"));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"burnVerification\", \"result\": \"skipped\", "
                              "\"files\": 0, \"bytes\": 0, \"seconds\": 0.000}"));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"comparison\", \"result\": \"passed\", \"files\": 12, "
                              "\"bytes\": 8000000, \"seconds\": 20.250}"));
  EXPECT_THAT(json, HasSubstr("\"result\": \"failed\", \"files\": 3, \"bytes\": 1024, "
                              "\"seconds\": 1.000, \"firstDifference\": \"sources\\\\"
                              "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.swm\"}"));
  // Brackets and braces balance outside strings: one object.
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < json.size(); ++i) {
    if (inString) {
      if (json[i] == '\\') ++i;
      else if (json[i] == '"') inString = false;
    } else if (json[i] == '"') {
      inString = true;
    } else if (json[i] == '{' || json[i] == '[') {
      ++depth;
    } else if (json[i] == '}' || json[i] == ']') {
      ASSERT_GT(depth, 0) << i;
      --depth;
    }
  }
  EXPECT_EQ(depth, 0);
  EXPECT_FALSE(inString);

  ReportFacts killed;
  EXPECT_THAT(FormatReportJson(killed), HasSubstr("\"stateWordAfter\": null,\n  \"media\": []"));
}

TEST(ReportFormatTest, ThePersonReadsLocalTimesWithTheirOffset) {
  const SystemTime made{2026, 12, 0, 10, 9, 30, 0, 0};
  {
    const testing::ScopedTimeZone japan("JST-9");
    const std::string text = FormatReportText(TwoDiscs(), ReportLanguage::kJapanese, made);
    EXPECT_THAT(text, HasSubstr(": 2026-12-10 18:30:00 (UTC+09:00)\r\n"));
  }
  // West of Greenwich the evening before; a zone of the caller's choosing.
  const std::string text =
      FormatReportText(TwoDiscs(), ReportLanguage::kEnglish, made,
                       [](const SystemTime&) { return -(10 * 60 + 30); });
  EXPECT_THAT(text, HasSubstr("Report made: 2026-12-09 23:00:00 (UTC-10:30)\r\n"));
  EXPECT_THAT(FormatReportJson(TwoDiscs()), Not(HasSubstr("UTC-"))) << "the JSON stays in UTC";
}

TEST(ReportFormatTest, TheTextReadsInEitherLanguage) {
  const testing::ScopedTimeZone utc("UTC0");
  const SystemTime made{2026, 12, 0, 10, 9, 30, 0, 0};
  const std::string english = FormatReportText(TwoDiscs(), ReportLanguage::kEnglish, made);
  EXPECT_EQ(english.rfind("\xEF\xBB\xBFKestrune verification report\r\n", 0), 0u);
  EXPECT_THAT(english, HasSubstr("Report made: 2026-12-10 09:30:00 UTC\r\n"));
  EXPECT_THAT(english, HasSubstr("Recovery disc 2 of 2, in the drive E:\r\n  Result: FAILED\r\n"));
  EXPECT_THAT(english, HasSubstr("  Time taken: 2:00, 8.0 MB\r\n  Average speed: 0.1 MB/s\r\n"));
  EXPECT_THAT(english, HasSubstr("  Verification by the drive: not done (switched off)\r\n"));
  EXPECT_THAT(english, HasSubstr("  Comparison with the downloaded images: FAILED, 3 files, 0.0 MB"
                                 ", 0:01\r\n    First difference: sources\\"));
  EXPECT_THAT(english, Not(HasSubstr("\n\n"))) << "every line ends in CR LF";

  const std::string japanese = FormatReportText(TwoDiscs(), ReportLanguage::kJapanese, made);
  EXPECT_THAT(japanese, HasSubstr("Kestrune 検証レポート\r\n"));
  EXPECT_THAT(japanese, HasSubstr("リカバリーディスク 1 / 2（E: ドライブ）\r\n  結果: 作成完了\r\n"));
  EXPECT_THAT(japanese, HasSubstr("最初の相違: sources\\"));
}

class ReportFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("kestrune-report-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  std::wstring Folder() const { return platform::FromNativePath(folder); }

  fs::path folder;
  platform::host::HostFileTree files;
  const SystemTime made{2026, 12, 0, 10, 9, 30, 1, 0};
};

TEST_F(ReportFilesTest, APairIsWrittenBesideTheUsersFilesAndNeverOverAnything) {
  // Somebody's own file at the first name, and a link at the second that leads elsewhere.
  std::ofstream(folder / "KestruneReport-20261210-093001.txt") << "mine";
  const fs::path elsewhere = folder / "elsewhere.json";
  std::ofstream(elsewhere) << "theirs";
  fs::create_symlink(elsewhere, folder / "KestruneReport-20261210-093001-2.json");

  const std::wstring written =
      WriteReportFiles(files, Folder(), TwoDiscs(), ReportLanguage::kEnglish, made);
  EXPECT_EQ(platform::ToNativePath(written), folder / "KestruneReport-20261210-093001-3.txt");
  EXPECT_EQ(Read(folder / "KestruneReport-20261210-093001.txt"), "mine");
  EXPECT_EQ(Read(elsewhere), "theirs");
  EXPECT_EQ(Read(folder / "KestruneReport-20261210-093001-3.json"), FormatReportJson(TwoDiscs()));
  EXPECT_EQ(Read(folder / "KestruneReport-20261210-093001-3.txt"),
            FormatReportText(TwoDiscs(), ReportLanguage::kEnglish, made));
  EXPECT_FALSE(fs::exists(folder / "KestruneReport-20261210-093001-2.txt"));

  // Every name taken: nothing is written, nothing replaced.
  for (int i = 4; i <= 9; ++i) {
    std::ofstream(folder / ("KestruneReport-20261210-093001-" + std::to_string(i) + ".txt")) << i;
  }
  std::ofstream(folder / "KestruneReport-20261210-093001-3.txt", std::ios::app) << "";
  EXPECT_EQ(WriteReportFiles(files, Folder(), TwoDiscs(), ReportLanguage::kEnglish, made), L"");
  EXPECT_EQ(Read(folder / "KestruneReport-20261210-093001-9.txt"), "9");
}

}  // namespace
}  // namespace kestrune
