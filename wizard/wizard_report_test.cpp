// The verification report a whole run of the Linux kestrixdw leaves in the image folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RunWizard;
using testing::WizardRun;

constexpr char kToTheDrivePage[] = "wait page start\nnext\nwait page info\nnext\nwait page drive\n";

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// Counts the occurrences of `needle` in `text`.
size_t Count(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

class WizardReportTest : public ::testing::Test {
 protected:
  /// Copies the sample set of `discs` discs into a folder of the test's own.
  std::vector<std::string> Arguments(int discs, uint64_t bytesPerDisc = 1 << 20) {
    std::vector<std::string> arguments{"Sample", "0"};
    for (const auto& image : testing::SampleDiscs(discs, bytesPerDisc)) {
      fs::copy_file(image, images.path() / image.filename());
      arguments.push_back((images.path() / image.filename()).string());
    }
    return arguments;
  }
  /// The text and the JSON of the one report in the image folder.
  void ReadReport(std::string& text, std::string& json) {
    const std::vector<std::string> names = testing::ReportFiles(images.path());
    ASSERT_EQ(names.size(), 2u) << "one pair";
    json = ReadAll(images.path() / names[0]);
    text = ReadAll(images.path() / names[1]);
    ASSERT_EQ(names[1], names[0].substr(0, names[0].size() - 5) + ".txt");
  }

  sim::testing::TemporaryMachine machine;
  testing::TempFolder images;
};

TEST_F(WizardReportTest, ATwoDiscSetWithComparisonIsReportedDiscByDisc) {
  const std::vector<std::string> arguments = Arguments(2);
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select E\ncompare on\nnext\nwait page write\n"
                                      "wait box 406\nanswer ok\nwait box 406\nanswer ok\nwait end\n",
                                  arguments);
  ASSERT_EQ(run.status, 0) << run.Text();
  std::string text, json;
  ReadReport(text, json);
  EXPECT_THAT(json, HasSubstr("\"label\": \"Sample\""));
  EXPECT_THAT(json, HasSubstr("\"stateWordBefore\": 0,"));
  EXPECT_THAT(json, HasSubstr("\"stateWordAfter\": " + run.output.substr(0, run.output.size() - 1)));
  EXPECT_THAT(json, HasSubstr("{\"kind\": \"disc\", \"number\": 1, \"of\": 2, \"device\": \"E:\", "
                              "\"result\": \"written\""));
  EXPECT_THAT(json, HasSubstr("{\"kind\": \"disc\", \"number\": 2, \"of\": 2, \"device\": \"E:\", "
                              "\"result\": \"written\""));
  EXPECT_EQ(Count(json, "{\"name\": \"write\", \"result\": \"passed\""), 2u) << json;
  // Each disc's write covers its image, byte for byte.
  for (int disc = 1; disc <= 2; ++disc) {
    const auto image = fs::file_size(arguments[static_cast<size_t>(disc) + 1]);
    EXPECT_THAT(json, HasSubstr("{\"name\": \"write\", \"result\": \"passed\", \"files\": 0, "
                                "\"bytes\": " + std::to_string(image) + ","))
        << disc << json;
  }
  EXPECT_EQ(Count(json, "{\"name\": \"burnVerification\", \"result\": \"passed\""), 2u) << json;
  EXPECT_EQ(Count(json, "{\"name\": \"comparison\", \"result\": \"passed\", \"files\": "), 2u)
      << json;
  EXPECT_THAT(json, Not(HasSubstr("\"files\": 0, \"bytes\": 0, \"seconds\": 0.000}"))) << json;
  EXPECT_THAT(json, Not(HasSubstr("firstDifference")));
  EXPECT_THAT(text, HasSubstr("Recovery disc 2 of 2, in the drive E:\r\n  Result: written\r\n"));
  EXPECT_THAT(text, HasSubstr("  Comparison with the downloaded images: passed, "));
}

TEST_F(WizardReportTest, AStickThatFailsItsCheckIsReportedWithTheFileInTheUsersLanguage) {
  machine.Change([](sim::MachineDescription& d) { d.disks[1].flipByteAfterUnpack = true; });
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select F\ncompare on\nnext\nwait box 266\nanswer ok\n"
                                      "wait page write\nwait box 492\nanswer ok\nwait end\n",
                                  Arguments(1), {{"LANG", "ja_JP.UTF-8"}});
  ASSERT_EQ(run.status, 0) << run.Text();
  std::string text, json;
  ReadReport(text, json);
  EXPECT_THAT(json, HasSubstr("{\"kind\": \"usb\", \"number\": 1, \"of\": 1, \"device\": \"F: "));
  EXPECT_THAT(json, HasSubstr("\"result\": \"failed\""));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"write\", \"result\": \"passed\""));
  // The check names how much it covered: every listed file, the bytes it read.
  EXPECT_THAT(json, ContainsRegex("\\{\"name\": \"md5Check\", \"result\": \"failed\", "
                                  "\"files\": [1-9][0-9]*, \"bytes\": [1-9]"));
  EXPECT_THAT(json, Not(HasSubstr("\"comparison\""))) << "no comparison after a failed check";
  // The check tool's words name the spoilt file.
  const size_t at = json.find("\"firstDifference\": \"");
  ASSERT_NE(at, std::string::npos) << json;
  EXPECT_THAT(json.substr(at), HasSubstr("install")) << json;
  EXPECT_THAT(text, HasSubstr("Kestrune 検証レポート\r\n"));
  EXPECT_THAT(text, HasSubstr("MD5 リストによるファイルの確認: 失敗"));
  EXPECT_THAT(text, HasSubstr("最初の相違: "));
}

TEST_F(WizardReportTest, ADiscThatDiffersNamesItsFirstDifferentFile) {
  machine.Change([](sim::MachineDescription& d) { d.recorders[0].flipByteAfterBurn = true; });
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select E\ncompare on\nnext\nwait page write\n"
                                      "wait box 483\nanswer ok\nwait end\n",
                                  Arguments(1));
  ASSERT_EQ(run.status, 0) << run.Text();
  std::string text, json;
  ReadReport(text, json);
  EXPECT_THAT(json, HasSubstr("\"result\": \"failed\""));
  const size_t at = json.find("{\"name\": \"comparison\", \"result\": \"failed\"");
  ASSERT_NE(at, std::string::npos) << json;
  EXPECT_THAT(json.substr(at), HasSubstr("\"firstDifference\": \"sources")) << json;
  EXPECT_THAT(text, HasSubstr("    First difference: sources"));
}

TEST_F(WizardReportTest, ACancelledBurnIsReportedAsCancelled) {
  machine.Change([](sim::MachineDescription& d) {
    d.recorders[0].writeBytesPerSecond = 500000;
    d.recorders[0].eventIntervalMs = 20;
  });
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select E\ncompare on\nnext\nwait page write\n"
                                      "wait status Writing.data\ncancel\nwait box 402\n"
                                      "answer yes\nwait end\n",
                                  Arguments(2));
  ASSERT_EQ(run.status, 0) << run.Text();
  std::string text, json;
  ReadReport(text, json);
  EXPECT_THAT(json, HasSubstr("\"number\": 1, \"of\": 2, \"device\": \"E:\", "
                              "\"result\": \"cancelled\""));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"write\", \"result\": \"cancelled\""));
  EXPECT_THAT(json, Not(HasSubstr("\"number\": 2,"))) << "disc 2 was never begun";
  EXPECT_THAT(text, HasSubstr("  Result: cancelled\r\n"));
}

}  // namespace
}  // namespace kestrune
