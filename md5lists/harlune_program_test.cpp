#include "md5lists/harlune_program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "md5lists/test_lists.h"

namespace kestrune::harlune {
namespace {

using ::testing::ElementsAre;
using testing::ListFile;
using ::testing::Optional;
using testing::ReadFile;
using testing::RecoveryList;
using testing::TempFolder;
namespace fs = std::filesystem;

const char kUsage[] = "Harlune <SL|DL|USB> <MD5 List Path>\n\n";

TEST(PartsPerDiscOfModeTest, KnowsThreeModesInAnyLetterCase) {
  EXPECT_THAT(PartsPerDiscOfMode(u"SL"), Optional(1));
  EXPECT_THAT(PartsPerDiscOfMode(u"sl"), Optional(1));
  EXPECT_THAT(PartsPerDiscOfMode(u"Dl"), Optional(2));
  EXPECT_THAT(PartsPerDiscOfMode(u"usb"), Optional(10000));
  EXPECT_THAT(PartsPerDiscOfMode(u"uSb"), Optional(10000));
  for (const std::u16string_view mode :
       {u"S", u"SLX", u"USB2", u"", u" SL", u"\uFF33\uFF2C", u"\u017Fl", u"/SL"}) {
    EXPECT_EQ(PartsPerDiscOfMode(mode), std::nullopt);
  }
}

// The real program, run in a working folder, with what it wrote to its streams.
struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class HarluneProgramTest : public ::testing::Test {
 protected:
  // `arguments` is given to the shell as it is.
  ProgramRun Harlune(const fs::path& workingFolder, const std::string& arguments) {
    const fs::path out = streams.path() / "out";
    const fs::path err = streams.path() / "err";
    const std::string command = "cd '" + workingFolder.string() +
                                "' && '" KESTRUNE_BIN_DIR "/harlune' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ProgramRun run;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder work;
  TempFolder streams;
};

TEST_F(HarluneProgramTest, ConvertsAListInTheWorkingFolder) {
  work.WriteFile("list.txt", ListFile(RecoveryList(3, 2)));
  const ProgramRun run = Harlune(work.path(), "usb list.txt ignored further arguments");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(Files(), ElementsAre("DISC1_MD5.txt", "list.txt"));
  EXPECT_EQ(testing::DiscLines(ReadFile(work.path() / "DISC1_MD5.txt")).size(), 13u);

  EXPECT_EQ(Harlune(work.path(), "Sl list.txt").exitCode, 0);
  EXPECT_EQ(Files().size(), 6u);
}

TEST_F(HarluneProgramTest, UsageGoesToStandardOutputWithCode87) {
  for (const std::string arguments : {"", "usb", "S list.txt", "SLX list.txt", "USB2 list.txt"}) {
    const ProgramRun run = Harlune(work.path(), arguments);
    EXPECT_EQ(run.exitCode, 87) << arguments;
    EXPECT_EQ(run.out, kUsage);
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(HarluneProgramTest, EachFailureHasItsCodeAndItsTextOnStandardError) {
  work.WriteFile("bad.txt", ListFile({"aa00 Media\\1\\version.doc"}));
  std::vector<std::string> damaged = RecoveryList(1, 0);
  damaged.push_back("aa09 Meida01\\boot\\bcd");
  work.WriteFile("damaged.txt", ListFile(damaged));
  work.WriteFile("be.txt", std::string("\xFE\xFF\0a", 4));
  fs::create_directory(work.path() / "folder");
  const struct {
    std::string arguments;
    int exitCode;
    std::string err;
  } cases[] = {
      {"DL absent.txt", 2, "absent.txt not found.\n\n"},
      // A name that is not UTF-8 is named with its own bytes.
      {"DL $(printf 'n\\377.txt')", 2, "n\xFF.txt not found.\n\n"},
      {"DL folder", 5, "folder cannot be opend.\n\n"},
      {"DL be.txt", 5, "be.txt cannot be opend.\n\n"},
      {"DL bad.txt", 11, "Cannot determine total number of WIM/SWMs.\n"},
      {"USB damaged.txt", 11, "No medium folder in the MD5 list line: aa09 Meida01\\boot\\bcd\n"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = Harlune(work.path(), c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_THAT(Files(), ElementsAre("bad.txt", "be.txt", "damaged.txt", "folder"));
}

TEST_F(HarluneProgramTest, AnUnwritableWorkingFolderGivesCode5) {
  const fs::path list = work.WriteFile("list.txt", ListFile(RecoveryList(1, 0)));
  TempFolder readOnly;
  fs::permissions(readOnly.path(), fs::perms::owner_read | fs::perms::owner_exec);
  // The superuser may write into any folder a mode can protect; /proc takes no new files
  // from anyone.
  const fs::path folder = geteuid() == 0 ? fs::path("/proc") : readOnly.path();
  const ProgramRun run = Harlune(folder, "usb '" + list.string() + "'");
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_EQ(run.err, "Cannot open DISC1_MD5.txt for write.\n");
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace kestrune::harlune
