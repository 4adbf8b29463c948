// The report record a run keeps while it works on media: its text, the facts a killed run's
// report is made of, and how a run keeps it in the store.
#include "app/report_record.h"

#include <gtest/gtest.h>

#include "app/test_support.h"

namespace kestrune {
namespace {

using testing::FakeJournalStore;

ReportRecord TwoDiscs() {
  ReportRecord record;
  record.owner = {4242, 77'000'000'123ULL};
  record.folder = L"/home/kestrel/イメージ/with space";
  record.language = ReportLanguage::kJapanese;
  ReportFacts& facts = record.facts;
  facts.label = L"Sample 回復 %20";
  facts.version = "0.1.0";
  facts.stateWordBefore = 0x2000000B;
  facts.runStarted = SystemTime{2026, 12, 4, 10, 9, 5, 7, 250};
  MediumRecord first;
  first.number = 1;
  first.of = 2;
  first.device = L"E: Simulated Recorder";
  first.result = MediumResult::kFailed;
  first.started = SystemTime{2026, 12, 4, 10, 9, 6, 0, 0};
  first.milliseconds = 91'500;
  first.bytes = 4'700'000'000ULL;
  first.steps = {
      {ReportStep::kWrite, StepResult::kPassed, 0, 4'700'000'000ULL, 90'500, {}},
      {ReportStep::kBurnVerification, StepResult::kSkipped, 0, 0, 0, {}},
      {ReportStep::kComparison, StepResult::kFailed, 7, 4000, 1000, L"sources\\install 2.swm"}};
  MediumRecord second = first;
  second.number = 2;
  second.result = MediumResult::kFailed;
  second.steps = {{ReportStep::kWrite, StepResult::kPassed, 0, 0, 0, {}}};
  facts.media = {first, second};
  record.mediumOpen = true;
  record.stepOpen = true;
  return record;
}

TEST(ReportRecordTextTest, EveryFactReadsBackAsItWasWritten) {
  const ReportRecord written = TwoDiscs();
  ReportRecord read;
  ASSERT_TRUE(ParseReportRecord(FormatReportRecord(written), read));
  EXPECT_EQ(read.owner, written.owner);
  EXPECT_EQ(read.folder, written.folder);
  EXPECT_EQ(read.language, ReportLanguage::kJapanese);
  EXPECT_TRUE(read.mediumOpen);
  EXPECT_TRUE(read.stepOpen);
  EXPECT_EQ(read.facts.label, written.facts.label);
  EXPECT_EQ(read.facts.version, "0.1.0");
  EXPECT_EQ(read.facts.stateWordBefore, 0x2000000Bu);
  EXPECT_EQ(SystemTimeToMilliseconds(read.facts.runStarted),
            SystemTimeToMilliseconds(written.facts.runStarted));
  ASSERT_EQ(read.facts.media.size(), 2u);
  const MediumRecord& first = read.facts.media[0];
  EXPECT_EQ(first.device, L"E: Simulated Recorder");
  EXPECT_EQ(first.number, 1u);
  EXPECT_EQ(first.of, 2u);
  EXPECT_EQ(first.milliseconds, 91'500u);
  EXPECT_EQ(first.bytes, 4'700'000'000ULL);
  EXPECT_EQ(first.started, written.facts.media[0].started);
  ASSERT_EQ(first.steps.size(), 3u);
  EXPECT_EQ(first.steps[1].name, ReportStep::kBurnVerification);
  EXPECT_EQ(first.steps[1].result, StepResult::kSkipped);
  EXPECT_EQ(first.steps[2].files, 7u);
  EXPECT_EQ(first.steps[2].firstDifference, L"sources\\install 2.swm");
  EXPECT_EQ(read.facts.media[1].steps.size(), 1u);
  // Whatever is read is written again the same way.
  EXPECT_EQ(FormatReportRecord(read), FormatReportRecord(written));
}

TEST(ReportRecordTextTest, ARecordThatCannotBeReadWholeIsRefused) {
  const std::string text = FormatReportRecord(TwoDiscs());
  ReportRecord read;
  EXPECT_FALSE(ParseReportRecord("", read));
  EXPECT_FALSE(ParseReportRecord("kestrune-repair-journal 1\nowner 1 2\n", read));
  // Cut short (no end line), a line broken, an unknown result, a step before any medium,
  // something after the end.
  EXPECT_FALSE(ParseReportRecord(text.substr(0, text.size() - 4), read));
  std::string broken = text;
  broken.replace(broken.find("before "), 7, "before x");
  EXPECT_FALSE(ParseReportRecord(broken, read));
  std::string unknown = text;
  unknown.replace(unknown.find("passed"), 6, "burned");
  EXPECT_FALSE(ParseReportRecord(unknown, read));
  EXPECT_FALSE(ParseReportRecord(
      "kestrune-report-record 1\nfolder /x\nstep write passed 0 0 0 %\nend\n", read));
  EXPECT_FALSE(ParseReportRecord(text + "label more\n", read));
  // An open medium or step that is not there.
  EXPECT_FALSE(ParseReportRecord("kestrune-report-record 1\nfolder /x\nopen 1 0\nend\n", read));
  EXPECT_FALSE(
      ParseReportRecord("kestrune-report-record 1\nfolder /x\nopen 0 1\n"
                        "medium disc 1 1 E: failed 0 0 0\nstep write passed 0 0 0 %\nend\n",
                        read));
  // Without a folder there is nowhere for the report to go.
  EXPECT_FALSE(ParseReportRecord("kestrune-report-record 1\nend\n", read));
  EXPECT_TRUE(ParseReportRecord("kestrune-report-record 1\nfolder /x\nend\n", read));
}

TEST(ReportRecordTextTest, TheNamesFollowTheJournalsAndKeepToTheStoresCharacters) {
  const platform::ProcessIdentity owner{31, 900};
  const std::string name = ReportRecordName(owner);
  EXPECT_EQ(name.substr(0, name.find('.')),
            JournalName(owner).substr(0, JournalName(owner).find('.')));
  EXPECT_NE(name, JournalName(owner));
  EXPECT_TRUE(IsReportRecordName(name));
  EXPECT_FALSE(IsReportRecordName(JournalName(owner)));
  EXPECT_EQ(name.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz-."), std::string::npos);
}

TEST(InterruptedFactsTest, TheOpenMediumFailsWithItsOpenStepAndTheClosedOnesStayAsTheyWere) {
  ReportRecord record = TwoDiscs();
  record.facts.media[1].steps[0].firstDifference = L"a half-written note";
  const ReportFacts facts = InterruptedFacts(record);
  EXPECT_TRUE(facts.interrupted);
  EXPECT_FALSE(facts.stateWordAfter.has_value());
  EXPECT_FALSE(facts.media[0].unfinished);
  EXPECT_EQ(facts.media[0].steps[0].result, StepResult::kPassed);
  EXPECT_TRUE(facts.media[1].unfinished);
  EXPECT_EQ(facts.media[1].result, MediumResult::kFailed);
  EXPECT_EQ(facts.media[1].steps[0].result, StepResult::kFailed);
  EXPECT_TRUE(facts.media[1].steps[0].firstDifference.empty());

  // Between two steps: the steps so far passed, yet the medium is not done.
  record.stepOpen = false;
  record.facts.media[1].result = MediumResult::kWritten;
  const ReportFacts between = InterruptedFacts(record);
  EXPECT_EQ(between.media[1].result, MediumResult::kFailed);
  EXPECT_EQ(between.media[1].steps[0].result, StepResult::kPassed);

  // Between two media: nothing is open.
  record.mediumOpen = false;
  const ReportFacts closed = InterruptedFacts(record);
  EXPECT_EQ(closed.media[1].result, MediumResult::kWritten);
  EXPECT_FALSE(closed.media[1].unfinished);
  EXPECT_TRUE(closed.interrupted);
}

class StoredReportRecordTest : public ::testing::Test {
 protected:
  ReportRecord Stored() {
    ReportRecord record;
    const auto found = store.journals.find(ReportRecordName(store.self));
    EXPECT_NE(found, store.journals.end()) << "no record";
    if (found != store.journals.end()) {
      EXPECT_TRUE(ParseReportRecord(found->second, record));
    }
    return record;
  }

  FakeJournalStore store;
  RepairJournal journal{store};
  StoredReportRecord stored{journal, L"/images", ReportLanguage::kEnglish};
  RunReport report;
};

TEST_F(StoredReportRecordTest, TheRecordFollowsTheRunAtEveryStepBoundaryOnly) {
  report.SetRun(L"Sample", 11);
  report.SetRecorder(&stored);
  EXPECT_TRUE(store.journals.empty()) << "no record before a medium begins";

  report.BeginMedium(MediumKind::kUsb, 1, 1, L"F:", 5000);
  EXPECT_TRUE(Stored().mediumOpen);
  EXPECT_EQ(Stored().folder, L"/images");
  EXPECT_EQ(Stored().owner, store.self);
  report.BeginStep(ReportStep::kWrite);
  EXPECT_TRUE(Stored().stepOpen);
  const int writes = store.writes;
  report.NoteCovered(3, 2500);
  report.NoteCovered(6, 5000);
  EXPECT_EQ(store.writes, writes) << "progress is not written";
  report.EndStep(StepResult::kPassed);
  EXPECT_FALSE(Stored().stepOpen);
  EXPECT_EQ(Stored().facts.media[0].steps[0].bytes, 5000u);
  report.AddStep({ReportStep::kComparison, StepResult::kSkipped, 0, 0, 0, {}});
  EXPECT_EQ(Stored().facts.media[0].steps.size(), 2u);
  report.EndMedium();
  const ReportRecord done = Stored();
  EXPECT_FALSE(done.mediumOpen);
  EXPECT_EQ(done.facts.media[0].result, MediumResult::kWritten);
  EXPECT_EQ(done.facts.label, L"Sample");
  EXPECT_FALSE(done.facts.version.empty());

  stored.Remove();
  EXPECT_TRUE(store.journals.empty());
}

TEST_F(StoredReportRecordTest, ADetachedRecorderHearsNoMore) {
  report.SetRecorder(&stored);
  report.BeginMedium(MediumKind::kDisc, 1, 1, L"E:", 1);
  report.SetRecorder(nullptr);
  report.BeginStep(ReportStep::kWrite);
  EXPECT_FALSE(Stored().stepOpen);
}

TEST_F(StoredReportRecordTest, AnUnusableStoreKeepsNothingAndTheRunGoesOn) {
  store.unusable = true;
  report.SetRecorder(&stored);
  report.BeginMedium(MediumKind::kDisc, 1, 1, L"E:", 1);
  report.BeginStep(ReportStep::kWrite);
  report.EndStep(StepResult::kPassed);
  report.EndMedium();
  stored.Remove();
  EXPECT_TRUE(store.journals.empty());
  EXPECT_EQ(report.Facts(std::nullopt).media.at(0).result, MediumResult::kWritten);
}

TEST_F(StoredReportRecordTest, ARunWithoutMediaNeverTouchesTheStore) {
  report.SetRecorder(&stored);
  stored.Remove();
  EXPECT_EQ(store.locks, 0);
}

}  // namespace
}  // namespace kestrune
