#include "sim/cmd_standin.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "sim/machine.h"
#include "test_support/test_files.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

class CmdStandInTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(folder); }
  fs::path Write(const std::string& relative, const std::string& text = "x") {
    return temp.WriteFile("images/" + relative, text);
  }
  int Run(std::vector<std::string> arguments, const fs::path& in = {}) {
    output.str("");
    errors.str("");
    return RunCommandInterpreter(arguments, in.empty() ? folder : in, output, errors,
                                 machine.Folder());
  }
  /// A machine whose user has the AutoRun command `autoRun`.
  void SetAutoRun(const std::string& autoRun) {
    MachineDescription description;
    description.cmdAutoRun = autoRun;
    ASSERT_TRUE(machine.Create(description));
  }
  bool Exists(const std::string& relative) { return fs::exists(folder / relative); }

  kestrune::testing::TempFolder temp;
  fs::path folder = temp.path() / "images";
  Machine machine{temp.path() / "machine"};
  std::ostringstream output, errors;
};

TEST(WildcardTest, MatchesAsWindowsDoes) {
  EXPECT_TRUE(MatchesWildcard("*.*", "README"));
  EXPECT_TRUE(MatchesWildcard("*.*", "a.b.c"));
  EXPECT_TRUE(MatchesWildcard("*.EXE", "7z.exe"));
  EXPECT_TRUE(MatchesWildcard("disc?_md5.txt", "DISC1_MD5.txt"));
  EXPECT_TRUE(MatchesWildcard("a*.*", "abc"));
  EXPECT_FALSE(MatchesWildcard("*.exe", "7z.dll"));
  EXPECT_FALSE(MatchesWildcard("*.txt", "notes.txt.bak"));
  EXPECT_FALSE(MatchesWildcard("disc?.txt", "disc10.txt"));
}

TEST_F(CmdStandInTest, DeleteMatchesPatternsInTheFolderOnly) {
  Write("7z.exe"), Write("7z.dll"), Write("DISC1_MD5.txt"), Write("disc1.iso"), Write("sub/a.exe");
  EXPECT_EQ(Run({"/C", "del", "/F", "/Q", "*.txt", "*.EXE", "*.dll"}), 0);
  EXPECT_FALSE(Exists("7z.exe"));
  EXPECT_FALSE(Exists("7z.dll"));
  EXPECT_FALSE(Exists("DISC1_MD5.txt"));
  EXPECT_TRUE(Exists("disc1.iso"));
  EXPECT_TRUE(Exists("sub/a.exe"));
}

TEST_F(CmdStandInTest, DeleteWithSubfoldersKeepsTheFolders) {
  Write("a.txt"), Write("sources/install.swm"), Write("recovery/oem/list.txt");
  EXPECT_EQ(Run({"/c", "DEL", "/f", "/q", "/s", "*.*"}), 0);
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_FALSE(Exists("sources/install.swm"));
  EXPECT_FALSE(Exists("recovery/oem/list.txt"));
  EXPECT_TRUE(fs::is_directory(folder / "recovery" / "oem"));
}

TEST_F(CmdStandInTest, ReadOnlyFilesNeedForce) {
  const auto file = Write("locked.txt");
  fs::permissions(file, fs::perms::owner_read);
  EXPECT_EQ(Run({"/C", "del", "/Q", "locked.txt"}), 1);
  EXPECT_TRUE(Exists("locked.txt"));
  EXPECT_EQ(Run({"/C", "del", "/F", "/Q", "locked.txt"}), 0);
  EXPECT_FALSE(Exists("locked.txt"));
}

TEST_F(CmdStandInTest, DeleteOfNothingIsNotAFailure) {
  EXPECT_EQ(Run({"/C", "del", "/F", "/Q", "*.exe"}), 0);
  EXPECT_NE(errors.str().find("Could Not Find"), std::string::npos);
}

TEST_F(CmdStandInTest, CopyIntoTheCurrentFolderWithWindowsPaths) {
  Write("drive/recovery/oem/MD5_OEM_RCV_Partition.txt", "digest list");
  fs::create_directories(folder / "work");
  const std::string root = (folder / "drive").string() + "/";
  EXPECT_EQ(
      Run({"/C", "copy", "/v", "/y", root + "recovery\\oem\\MD5_OEM_RCV_Partition.txt", ".\\"},
          folder / "work"),
      0);
  std::ifstream copied(folder / "work" / "MD5_OEM_RCV_Partition.txt");
  std::string text;
  std::getline(copied, text);
  EXPECT_EQ(text, "digest list");
  EXPECT_NE(output.str().find("1 file(s) copied."), std::string::npos);
}

TEST_F(CmdStandInTest, CopyOverwritesATargetFile) {
  Write("new.txt", "new"), Write("old.txt", "old");
  EXPECT_EQ(Run({"/C", "copy", "/Y", "new.txt", "old.txt"}), 0);
  std::ifstream in(folder / "old.txt");
  std::string text;
  in >> text;
  EXPECT_EQ(text, "new");
}

TEST_F(CmdStandInTest, CopyFailures) {
  EXPECT_EQ(Run({"/C", "copy", "/v", "/y", "missing.txt", ".\\"}), 1);
  Write("a.txt");
  EXPECT_EQ(Run({"/C", "copy", "/y", "a.txt", ".\\"}), 1) << "a file onto itself";
  EXPECT_EQ(Run({"/C", "copy", "/y", "a.txt"}), 1);
}

TEST_F(CmdStandInTest, ABareProgramNameIsLookedForInTheCurrentFolderFirst) {
  SetAutoRun("");
  // What anybody who can write the image folder may put there, and cmd would run.
  Write("diskpart.bat", "echo planted > diskpart-ran.txt\r\n");
  Write("chcp.cmd", "echo planted > chcp-ran.txt\n");
  Write("script.txt", "sel vol F\ndetail vol\n");
  EXPECT_EQ(Run({"/D", "/C", "chcp", "437", "&", "diskpart", "/s", "script.txt", ">", "out.txt"}),
            0);
  EXPECT_TRUE(Exists("diskpart-ran.txt"));
  EXPECT_TRUE(Exists("chcp-ran.txt"));

  // Named by their full path in the system folder, the system's own programs run.
  fs::remove(folder / "diskpart-ran.txt"), fs::remove(folder / "chcp-ran.txt");
  const std::string system = machine.SystemFolder().string();
  Run({"/D", "/C", system + "/chcp.com", "437", "&", system + "/diskpart.exe", "/s",
       "script.txt", ">", "out.txt"});
  EXPECT_FALSE(Exists("diskpart-ran.txt"));
  EXPECT_FALSE(Exists("chcp-ran.txt"));
  MachineDescription after;
  ASSERT_TRUE(machine.Read(after));
  EXPECT_EQ(after.diskpartRuns, 1u) << "the stand-in for diskpart ran, once";
}

TEST_F(CmdStandInTest, TheUsersAutoRunRunsFirstUnlessSlashDLeavesItOut) {
  Write("mine.txt", "kept");
  const fs::path documents = temp.path() / "Documents";
  temp.WriteFile("Documents/letter.txt", "the user's");
  SetAutoRun("cd /d " + documents.string());

  EXPECT_EQ(Run({"/D", "/C", "del", "/F", "/Q", "*.txt"}), 0);
  EXPECT_FALSE(Exists("mine.txt")) << "with /D the command runs where it was started";
  EXPECT_TRUE(fs::exists(documents / "letter.txt"));

  Write("mine.txt", "kept");
  EXPECT_EQ(Run({"/C", "del", "/F", "/Q", "*.txt"}), 0);
  EXPECT_TRUE(Exists("mine.txt"));
  EXPECT_FALSE(fs::exists(documents / "letter.txt")) << "AutoRun moved it elsewhere";
}

TEST_F(CmdStandInTest, OtherCommandsFailWithAMessage) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(Run({"/K", "del", "x"}), 1);
  EXPECT_EQ(Run({"/C", "format", "E:"}), 1);
  EXPECT_EQ(Run({"/C", "del", "/X", "a"}), 1);
  EXPECT_FALSE(errors.str().empty());
}

}  // namespace
}  // namespace kestrune::sim
