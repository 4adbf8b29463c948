// The next start writes the report of a run that was killed from the record it left.
#include "app/killed_run_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/report_record.h"
#include "app/test_support.h"
#include "platform/host/host_file_tree.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::FakeJournalStore;
using ::testing::HasSubstr;

class KilledRunReportTest : public ::testing::Test {
 protected:
  testing::ScopedTimeZone utc{"UTC0"};
  void SetUp() override {
    folder = fs::temp_directory_path() / ("kestrune-killed-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "images");
  }
  void TearDown() override { fs::remove_all(folder); }

  /// A record of `owner`'s run, killed while it burned its second disc.
  void LeaveRecord(const platform::ProcessIdentity& owner, const fs::path& images) {
    ReportRecord record;
    record.owner = owner;
    record.folder = platform::FromNativePath(images);
    record.facts.label = L"Sample";
    record.facts.version = "0.1.0";
    record.facts.stateWordBefore = 11;
    record.facts.runStarted = SystemTime{2026, 12, 0, 9, 22, 15, 0, 0};
    MediumRecord first;
    first.of = 2;
    first.device = L"E:";
    first.result = MediumResult::kWritten;
    first.steps = {{ReportStep::kWrite, StepResult::kPassed, 0, 100, 1000, {}}};
    MediumRecord second = first;
    second.number = 2;
    second.result = MediumResult::kFailed;
    record.facts.media = {first, second};
    record.mediumOpen = record.stepOpen = true;
    store.journals[ReportRecordName(owner)] = FormatReportRecord(record);
  }
  std::vector<std::string> Names(const fs::path& where) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(where)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  int Repair() { return WriteKilledRunReports(journal, files, now); }

  fs::path folder;
  FakeJournalStore store;
  RepairJournal journal{store};
  platform::host::HostFileTree files;
  const SystemTime now{2026, 12, 0, 10, 8, 0, 1, 0};
  const platform::ProcessIdentity dead{7, 70}, alive{8, 80};
};

TEST_F(KilledRunReportTest, ADeadRunsRecordBecomesItsReportPairWithTheOpenDiscFailed) {
  LeaveRecord(dead, folder / "images");
  EXPECT_EQ(Repair(), 1);

  EXPECT_EQ(Names(folder / "images"),
            (std::vector<std::string>{"KestruneReport-20261210-080001.json",
                                      "KestruneReport-20261210-080001.txt"}));
  const std::string json = Read(folder / "images" / "KestruneReport-20261210-080001.json");
  EXPECT_THAT(json, HasSubstr("\"stateWordAfter\": null"));
  EXPECT_THAT(json, HasSubstr("\"interrupted\": true"));
  EXPECT_THAT(json, HasSubstr("\"runStarted\": \"2026-12-09T22:15:00Z\""));
  EXPECT_THAT(json,
              HasSubstr("\"number\": 1, \"of\": 2, \"device\": \"E:\", \"result\": \"written\""));
  EXPECT_THAT(json,
              HasSubstr("\"number\": 2, \"of\": 2, \"device\": \"E:\", \"result\": \"failed\""));
  EXPECT_THAT(json, HasSubstr("\"unfinished\": true"));
  const std::string text = Read(folder / "images" / "KestruneReport-20261210-080001.txt");
  EXPECT_THAT(text, HasSubstr("The run was interrupted"));
  EXPECT_THAT(text, HasSubstr("Run started: 2026-12-09 22:15:00 UTC"));
  EXPECT_THAT(text, HasSubstr("its state is unknown"));
  EXPECT_TRUE(store.journals.empty()) << "the record is removed";
}

TEST_F(KilledRunReportTest, AJapaneseRunsReportSaysSoInJapanese) {
  LeaveRecord(dead, folder / "images");
  std::string& text = store.journals[ReportRecordName(dead)];
  text.replace(text.find("language en"), 11, "language ja");
  EXPECT_EQ(Repair(), 1);
  const std::string report = Read(folder / "images" / "KestruneReport-20261210-080001.txt");
  EXPECT_THAT(report, HasSubstr("この実行は中断されました"));
  EXPECT_THAT(report, HasSubstr("実行開始日時: 2026-12-09 22:15:00 UTC"));
  EXPECT_THAT(report, HasSubstr("状態は不明です"));
}

TEST_F(KilledRunReportTest, ALiveRunsRecordAndThisRunsAreLeftAlone) {
  store.live = {alive};
  LeaveRecord(alive, folder / "images");
  LeaveRecord(store.self, folder / "images");
  EXPECT_EQ(Repair(), 0);
  EXPECT_TRUE(Names(folder / "images").empty());
  EXPECT_EQ(store.journals.size(), 2u);
}

TEST_F(KilledRunReportTest, AnUnreadableRecordAndTheJournalsAreLeftAsTheyAre) {
  store.journals[ReportRecordName(dead)] = "kestrune-report-record 1\nfolder /x\n";  // cut short
  store.journals[JournalName(dead)] = "kestrune-repair-journal 1\nowner 7 70\n";
  EXPECT_EQ(Repair(), 0);
  EXPECT_EQ(store.journals.size(), 2u);
  EXPECT_TRUE(Names(folder / "images").empty());
}

TEST_F(KilledRunReportTest, AFolderThatIsGoneOrALinkGetsNothingAndTheRecordIsDropped) {
  LeaveRecord(dead, folder / "gone");
  fs::create_directories(folder / "elsewhere");
  fs::create_directory_symlink(folder / "elsewhere", folder / "link");
  LeaveRecord({9, 90}, folder / "link");
  EXPECT_EQ(Repair(), 2);
  EXPECT_FALSE(fs::exists(folder / "gone"));
  EXPECT_TRUE(Names(folder / "elsewhere").empty()) << "the link is not followed";
  EXPECT_TRUE(store.journals.empty()) << "one try only";
}

TEST_F(KilledRunReportTest, TheUsersFilesAreNeitherOverwrittenNorRemoved) {
  std::ofstream(folder / "images" / "KestruneReport-20261210-080001.txt") << "mine";
  LeaveRecord(dead, folder / "images");
  EXPECT_EQ(Repair(), 1);
  EXPECT_EQ(Read(folder / "images" / "KestruneReport-20261210-080001.txt"), "mine");
  EXPECT_EQ(Names(folder / "images"),
            (std::vector<std::string>{"KestruneReport-20261210-080001-2.json",
                                      "KestruneReport-20261210-080001-2.txt",
                                      "KestruneReport-20261210-080001.txt"}));
}

}  // namespace
}  // namespace kestrune
