#include <gtest/gtest.h>

#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

namespace fs = std::filesystem;
using testing::DriveSet;
using testing::Md5Hex;
using testing::ProgramRun;
using testing::ReadFile;
using testing::RunProgram;
using testing::TempFolder;
using testing::Utf16LeFromUtf8;
using testing::WriteFile;

/// The program as the wizard runs it: list and error file relative to the working folder.
class SabrelProgramTest : public ::testing::Test {
 protected:
  SabrelProgramTest() {
    fs::create_directory(work);
    set.Add("version.doc", "v1").Add("sources/install.wim", std::string(100000, 'w'));
  }

  ProgramRun Check(const std::string& list = "DISC1_MD5.txt") {
    return RunProgram(SABREL_PROGRAM, {"-c", list, "-d", set.root().string(), "-e", "error.txt"},
                      work);
  }

  fs::path ErrorFile() const { return work / "error.txt"; }

  TempFolder folder;
  fs::path work = folder.path() / "work";
  DriveSet set{folder.path() / "drive"};
};

TEST_F(SabrelProgramTest, GoodSetExitsZeroAndLeavesNoErrorFile) {
  set.WriteList(work / "DISC1_MD5.txt");
  WriteFile(ErrorFile(), "stale failure of an earlier run");
  const ProgramRun run = Check();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Sabrel: all 2 listed files match.\n");
  EXPECT_FALSE(fs::exists(ErrorFile()));
}

TEST_F(SabrelProgramTest, AProgressFileEndsWithEveryByteRead) {
  set.WriteList(work / "DISC1_MD5.txt");
  const ProgramRun run = RunProgram(
      SABREL_PROGRAM,
      {"-c", "DISC1_MD5.txt", "-d", set.root().string(), "-e", "error.txt", "-p", "progress.txt"},
      work);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(work / "progress.txt"), "100002 100002 2\n");
  EXPECT_FALSE(fs::exists(work / "progress.txt.new")) << "every version replaces the last";

  // A progress file that cannot be written never fails the check.
  const ProgramRun unwritable = RunProgram(
      SABREL_PROGRAM,
      {"-c", "DISC1_MD5.txt", "-d", set.root().string(), "-e", "error.txt", "-p", "no/such/p"},
      work);
  EXPECT_EQ(unwritable.exitCode, 0) << unwritable.err;
}

TEST_F(SabrelProgramTest, EachKindOfFailureHasItsExitCodeAndErrorLine) {
  set.WriteList(work / "DISC1_MD5.txt");
  const std::string bom = "\xEF\xBB\xBF";

  WriteFile(set.PathOf("version.doc"), "v2");
  ProgramRun run = Check();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadFile(ErrorFile()),
            bom + "version.doc: expected " + Md5Hex("v1") + ", found " + Md5Hex("v2") + "\r\n");
  EXPECT_NE(run.err.find("version.doc: expected"), std::string::npos);

  fs::remove(set.PathOf("version.doc"));
  run = Check();
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(ReadFile(ErrorFile()),
            bom + "version.doc: expected " + Md5Hex("v1") + ", not found\r\n");

  fs::create_directory(set.PathOf("version.doc"));
  EXPECT_EQ(Check().exitCode, 3);

  WriteFile(work / "bad.txt", Md5Hex("v1") + " version.doc\n" + "nonsense\n");
  run = Check("bad.txt");
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(ReadFile(ErrorFile()),
            bom +
                "bad.txt line 2: malformed (the digest is not 32 hexadecimal digits): "
                "\"nonsense\"\r\n");

  WriteFile(work / "empty.txt", "");
  EXPECT_EQ(Check("empty.txt").exitCode, 4);
  EXPECT_EQ(Check("no_such_list.txt").exitCode, 4);
  EXPECT_EQ(ReadFile(ErrorFile()), bom + "no_such_list.txt: the list does not exist\r\n");
}

TEST_F(SabrelProgramTest, UsageErrorsPrintTheUsageAndWriteNoErrorFile) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"-c", "DISC1_MD5.txt", "-d", "E:"},
                                               {"--help"},
                                               {"-c", "a", "-d", "b", "-e", "c", "-q"}}) {
    const ProgramRun run = RunProgram(SABREL_PROGRAM, args, work);
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_NE(run.err.find("Usage: Sabrel -c LIST -d DRIVE -e ERRORFILE"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(ErrorFile()));
}

TEST_F(SabrelProgramTest, NonAsciiNamesFromAUtf16List) {
  set.Add("d\xC3\xBCr/\xE6\x97\xA5\xE6\x9C\xAC.txt", "nihon");
  set.WriteList(work / "DISC1_MD5.txt");
  EXPECT_EQ(Check().exitCode, 0);
  WriteFile(set.PathOf("d\xC3\xBCr/\xE6\x97\xA5\xE6\x9C\xAC.txt"), "nihon!");
  EXPECT_EQ(Check().exitCode, 1);
  EXPECT_NE(ReadFile(ErrorFile()).find("d\xC3\xBCr\\\xE6\x97\xA5\xE6\x9C\xAC.txt: expected"),
            std::string::npos);
}

TEST_F(SabrelProgramTest, ListWrittenByTheListSplitter) {
  const std::string harlune = SABREL_HARLUNE_PROGRAM;
  if (harlune.empty()) GTEST_SKIP() << "the list splitter is not part of this build";
  set.Add("media/1_1.txt", "index of the only install part").Add("boot/bcd", "boot data");
  // The recovery partition's list names every file below a media folder.
  std::string recoveryList;
  for (const char* key : {"version.doc", "sources\\install.wim", "media\\1_1.txt", "boot\\bcd"}) {
    std::string relative = key;
    for (char& c : relative)
      if (c == '\\') c = '/';
    recoveryList += Md5Hex(ReadFile(set.PathOf(relative))) + " Media_1\\" + key + "\r\n";
  }
  WriteFile(work / "MD5_OEM_RCV_Partition.txt", Utf16LeFromUtf8(recoveryList));
  const ProgramRun split = RunProgram(harlune, {"USB", "MD5_OEM_RCV_Partition.txt"}, work);
  ASSERT_EQ(split.exitCode, 0) << split.err;
  ASSERT_TRUE(fs::exists(work / "DISC1_MD5.txt"));

  EXPECT_EQ(Check().exitCode, 0);
  WriteFile(set.PathOf("boot/bcd"), "boot dat4");
  EXPECT_EQ(Check().exitCode, 1);
  fs::remove(set.PathOf("media/1_1.txt"));
  EXPECT_EQ(Check().exitCode, 2);
}

}  // namespace
}  // namespace kestrune::sabrel
