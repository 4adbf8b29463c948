#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/launcher/recovery_set.h"

namespace kestrune::launcher {
namespace {
namespace fs = std::filesystem;

class LauncherFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("kestrixdl-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Write(const fs::path& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  std::string Read(const fs::path& name) {
    std::ifstream file(folder_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  }

  fs::path folder_;
};

TEST_F(LauncherFolder, ImagesComeInDiscOrderAndOtherFilesAreLeftOut) {
  for (const char* name : {"disc10.iso", "disc2.ISO", "disc1.iso", "notes.txt", "package.7z"}) {
    Write(name, "x");
  }
  fs::create_directories(folder_ / "disc3.iso");  // a folder, not an image
  const RecoverySet set = FindRecoverySet(folder_);
  ASSERT_EQ(set.images.size(), 3u);
  EXPECT_EQ(set.images[0].filename(), "disc1.iso");
  EXPECT_EQ(set.images[1].filename(), "disc2.ISO");
  EXPECT_EQ(set.images[2].filename(), "disc10.iso");
  EXPECT_EQ(set.package.filename(), "package.7z");
}

TEST_F(LauncherFolder, StateWordIsStoredAndReadBackAndGarbageIsNotGuessed) {
  EXPECT_EQ(ReadStateWord(folder_), 0u);  // first run: nothing stored
  ASSERT_TRUE(WriteStateWord(folder_, 2147483915u));
  EXPECT_EQ(ReadStateWord(folder_), 2147483915u);
  EXPECT_EQ(Read(kStateFileName), "2147483915\n");
  EXPECT_FALSE(fs::exists(folder_ / (std::string(kStateFileName) + ".new")));

  for (const char* bad : {"", "abc\n", "12 13\n", "4294967296\n", "-1\n"}) {
    Write(kStateFileName, bad);
    EXPECT_FALSE(ReadStateWord(folder_).has_value()) << '"' << bad << '"';
  }
  Write(kStateFileName, "4294967295\r\n");
  EXPECT_EQ(ReadStateWord(folder_), 4294967295u);
}

TEST(DescribeState, SaysWhatIsWrittenAndWhatComesNext) {
  const uint32_t disc1 = 1u << 8, disc2 = 1u << 9, disc3 = 1u << 10;
  EXPECT_EQ(DescribeState(0, 3), "nothing written yet");
  EXPECT_EQ(DescribeState(0x2000000b | disc1, 3),
            "disc 1 of 3 written; insert discs 2 and 3 next time");
  EXPECT_EQ(DescribeState(0x2000000b | disc1 | disc2, 3),
            "discs 1 and 2 of 3 written; insert disc 3 next time");
  EXPECT_EQ(DescribeState(0x2000000b | disc1 | disc3, 4),
            "discs 1 and 3 of 4 written; insert discs 2 and 4 next time");
  EXPECT_EQ(DescribeState(0x80000000u | disc1 | disc2 | disc3, 3), "all 3 discs written");
  EXPECT_EQ(DescribeState(0x80000000u | disc1 | disc2, 2), "both discs written");
  EXPECT_EQ(DescribeState(0x80000000u | disc1, 1), "the disc written");
  EXPECT_EQ(DescribeState(0x80000000u, 2), "USB drive written and verified");
}

TEST(ParseResultLine, AcceptsOnlyOneNumberWithItsLineEnd) {
  EXPECT_EQ(ParseResultLine("2147484427\n"), 2147484427u);
  EXPECT_EQ(ParseResultLine("0\n"), 0u);
  EXPECT_FALSE(ParseResultLine("").has_value());
  EXPECT_FALSE(ParseResultLine("17").has_value());  // cut off: not a whole line
  EXPECT_FALSE(ParseResultLine("1 2\n").has_value());
  EXPECT_FALSE(ParseResultLine("x\n").has_value());
}

// The program as the downloader runs it, against a stand-in wizard that logs its command line.
class LauncherProgram : public LauncherFolder {
 protected:
  void SetUp() override {
    LauncherFolder::SetUp();
    fs::create_directories(folder_ / "set");
    wizard_ = folder_ / "wizard.sh";
    std::ofstream(wizard_) << "#!/bin/sh\n"
                              "printf '%s|' \"$@\" >> \""
                           << (folder_ / "calls").string() << "\"\necho >> \""
                           << (folder_ / "calls").string()
                           << "\"\ncase \"$1\" in\n"
                              "  /Mode:SevenZip) [ \"$4\" = /Pass:right ] && echo 1 ;;\n"
                              "  *) cat \""
                           << (folder_ / "answer").string() << "\" 2>/dev/null ;;\nesac\n";
    fs::permissions(wizard_, fs::perms::owner_all);
  }

  int Run(const std::string& arguments) {
    const std::string command = std::string(KESTRUNE_BIN_DIR) + "/kestrixdl --wizard '" +
                                wizard_.string() + "' " + arguments + " > '" +
                                (folder_ / "out").string() + "' 2> '" + (folder_ / "err").string() +
                                "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Set() { return (folder_ / "set").string(); }

  fs::path wizard_;
};

TEST_F(LauncherProgram, PassesLabelStateSwitchesAndImagesAndStoresTheNewWord) {
  Write("set/disc2.iso", "2");
  Write("set/disc1.iso", "1");
  Write("set/kestrixdl.state", "2147483915\n");
  Write("answer", "2147484427\n");
  ASSERT_EQ(Run("--label 'My PC' /nv /P '" + Set() + "'"), 0) << Read("err");
  EXPECT_EQ(Read("calls"), "/Mode:Fernlow|My PC|2147483915|/nv|/P|" + Set() + "/disc1.iso|" +
                               Set() + "/disc2.iso|\n");
  EXPECT_EQ(Read("set/kestrixdl.state"), "2147484427\n");
  EXPECT_EQ(Read("out"), "both discs written\n");
}

TEST_F(LauncherProgram, UnpacksThePackageFirstAndStopsWhenThatFails) {
  Write("set/disc1.iso", "1");
  Write("set/package.7z", "p");
  Write("answer", "0\n");
  EXPECT_EQ(Run("--password wrong '" + Set() + "'"), 4);
  EXPECT_EQ(Read("calls"), "/Mode:SevenZip|set|0|/Pass:wrong|" + Set() + "/package.7z|\n");
  fs::remove(folder_ / "calls");
  EXPECT_EQ(Run("--password right '" + Set() + "'"), 0) << Read("err");
  EXPECT_EQ(Read("calls"), "/Mode:SevenZip|set|0|/Pass:right|" + Set() +
                               "/package.7z|\n/Mode:Fernlow|set|0|" + Set() + "/disc1.iso|\n");
}

TEST_F(LauncherProgram, KeepsTheStoredWordWhenTheWizardSaysNothing) {
  Write("set/disc1.iso", "1");
  Write("set/kestrixdl.state", "2147483915\n");
  EXPECT_EQ(Run("'" + Set() + "'"), 3);  // no answer file: the wizard prints nothing
  EXPECT_EQ(Read("set/kestrixdl.state"), "2147483915\n");
  EXPECT_EQ(Run("'" + (folder_ / "empty").string() + "'"), 2);
  EXPECT_EQ(Run(""), 1);
  Write("set/kestrixdl.state", "garbage");
  EXPECT_EQ(Run("'" + Set() + "'"), 5);
  Write("answer", "7\n");
  EXPECT_EQ(Run("--reset '" + Set() + "'"), 0);
  EXPECT_EQ(Read("set/kestrixdl.state"), "7\n");
}

TEST_F(LauncherProgram, OutlivesAHangUpAndPassesATerminationRequestToTheWizard) {
  Write("set/disc1.iso", "1");
  const std::string started = (folder_ / "started").string();
  // A wizard that ends with its result line when asked to terminate, as the real one does.
  std::ofstream(wizard_, std::ios::trunc) << "#!/bin/sh\ntrap 'echo 11; exit 0' TERM\ntouch '"
                                          << started << "'\nwhile :; do sleep 0.05; done\n";
  const std::string program = std::string(KESTRUNE_BIN_DIR) + "/kestrixdl";
  const std::string wizard = wizard_.string();
  const std::string set = Set();
  const std::string out = (folder_ / "out").string();
  const pid_t launcher = ::fork();
  ASSERT_GE(launcher, 0);
  if (launcher == 0) {
    std::freopen(out.c_str(), "w", stdout);
    ::execl(program.c_str(), program.c_str(), "--wizard", wizard.c_str(), set.c_str(), nullptr);
    ::_exit(127);
  }
  for (int i = 0; i < 500 && !fs::exists(started); ++i) ::usleep(10000);
  ASSERT_TRUE(fs::exists(started));
  ::kill(launcher, SIGHUP);
  ::kill(launcher, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(launcher, &status, 0), launcher);
  ASSERT_TRUE(WIFEXITED(status)) << "the launcher died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read("set/kestrixdl.state"), "11\n");
  EXPECT_EQ(Read("out"), "nothing written yet\n");
}

TEST_F(LauncherFolder, ReportsAreListedNewestFirstWithTheirMediaAndResult) {
  Write("KestruneReport-20261210-093001.json",
        "{\n  \"media\": [\n    {\"kind\": \"disc\", \"number\": 1, \"of\": 2, \"device\": "
        "\"E:\", \"result\": \"written\"},\n    {\"kind\": \"disc\", \"number\": 2, \"of\": 2, "
        "\"device\": \"E:\", \"result\": \"cancelled\"}\n  ]\n}\n");
  Write("KestruneReport-20261210-093001-2.json",
        "{\"media\": [{\"kind\": \"usb\", \"number\": 1, \"of\": 1, \"device\": \"F: a\\\"b\", "
        "\"result\": \"written\"}]}");
  Write("KestruneReport-20251231-235959.json", "{\"media\": []}");
  Write("KestruneReport-20261210-093001.txt", "for a person");
  Write("KestruneReport-20261211-000000.json", "not a report");
  Write("KestruneReport-2026121-000000.json", "{\"media\": []}");

  const std::vector<ReportSummary> reports = FindReports(folder_);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].text.filename(), "KestruneReport-20261210-093001-2.txt");
  EXPECT_EQ(reports[0].when, "2026-12-10 09:30:01 UTC");
  EXPECT_EQ(reports[0].media, "USB drive");
  EXPECT_EQ(reports[0].result, "written");
  EXPECT_EQ(reports[1].media, "disc 1/2, disc 2/2");
  EXPECT_EQ(reports[1].result, "cancelled");
  EXPECT_EQ(reports[2].when, "2025-12-31 23:59:59 UTC");
  EXPECT_EQ(reports[2].result, "nothing written");
}

TEST_F(LauncherProgram, NamesTheReportOfTheRunItStartedAndListsTheSetsReports) {
  Write("set/disc1.iso", "1");
  Write("set/KestruneReport-20250101-000000.json", "{\"media\": []}");
  // A wizard that leaves a report as the real one does, before its result line.
  std::ofstream(wizard_) << "#!/bin/sh\nprintf '{\"media\": [{\"kind\": \"usb\", \"number\": 1, "
                            "\"of\": 1, \"device\": \"F:\", \"result\": \"written\"}]}' > '"
                         << Set() << "/KestruneReport-20261210-100000.json'\necho 2147483648\n";
  ASSERT_EQ(Run("'" + Set() + "'"), 0) << Read("err");
  EXPECT_EQ(Read("out"), "USB drive written and verified\nVerification report: " + Set() +
                             "/KestruneReport-20261210-100000.txt\n");
  ASSERT_EQ(Run("--reports '" + Set() + "'"), 0) << Read("err");
  EXPECT_EQ(Read("out"),
            "2026-12-10 10:00:00 UTC  USB drive  written  KestruneReport-20261210-100000.txt\n"
            "2025-01-01 00:00:00 UTC  no medium  nothing written  "
            "KestruneReport-20250101-000000.txt\n");
}

TEST_F(LauncherProgram, AWizardThatEndsWithoutAResultStillHasItsReportNamed) {
  Write("set/disc1.iso", "1");
  Write("set/kestrixdl.state", "0\n");
  // Ended before its result line, as a killed one does; its report tells what it did.
  std::ofstream(wizard_) << "#!/bin/sh\nprintf '{\"media\": [{\"kind\": \"disc\", \"number\": 1, "
                            "\"of\": 1, \"device\": \"E:\", \"result\": \"failed\"}]}' > '"
                         << Set() << "/KestruneReport-20261211-100000.json'\n";
  EXPECT_EQ(Run("'" + Set() + "'"), 3);
  EXPECT_EQ(Read("set/kestrixdl.state"), "0\n");
  EXPECT_EQ(Read("out"), "Verification report: " + Set() + "/KestruneReport-20261211-100000.txt\n");
  EXPECT_NE(Read("err").find("the set's state is left as it was"), std::string::npos) << Read("err");
}

}  // namespace
}  // namespace kestrune::launcher
