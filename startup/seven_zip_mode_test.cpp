// The Seven-Zip mode of the built program, end to end with the real 7-Zip.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <vector>

#include "app/test_support.h"

namespace kestrune {
namespace {

using testing::ReadFile;
using testing::TempFolder;
namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command; returns its standard output.
std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::array<char, 256> buffer{};
  size_t read;
  while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), read);
  pclose(pipe);
  return output;
}

class SevenZipModeTest : public ::testing::Test {
 protected:
  // An archive holding data/inner.txt, made with the password SECRET in `folderName`.
  fs::path MakeArchive(const std::string& folderName) {
    const auto source = scratch.WriteFile("content/data/inner.txt", "recovery payload\n");
    const auto target = work.path() / folderName;
    fs::create_directories(target);
    const auto archive = target / "set.7z";
    Shell("cd " + Quote(scratch.path() / "content") + " && 7zz a -pSECRET " + Quote(archive) +
          " data >/dev/null 2>&1");
    return archive;
  }

  // Runs the program on a simulated machine of its own, which it creates when it first needs it.
  std::string Kestrixdw(const std::string& arguments,
                        const fs::path& program = fs::path(KESTRUNE_BIN_DIR) / "kestrixdw") {
    return Shell("KESTRUNE_MACHINE=" + Quote(machine()) + " " + Quote(program) + " " + arguments +
                 " 2>/dev/null");
  }
  fs::path machine() const { return scratch.path() / "machine"; }

  TempFolder scratch;
  TempFolder work;
};

TEST_F(SevenZipModeTest, RightPasswordExtractsFlatAndPrintsOne) {
  const auto archive = MakeArchive("images");
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(Kestrixdw("/Mode:SevenZip label 0 /Pass:SECRET " + Quote(archive)), "1\n");
  EXPECT_EQ(ReadFile(archive.parent_path() / "inner.txt"), "recovery payload\n");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(archive.parent_path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"data", "inner.txt", "set.7z"}))
      << "only the unpacked files join the archive: no tool is ever written beside it";

  // The tools were written into a private run folder, scheduled for deletion at the next
  // restart, and the folder is gone with the run.
  const fs::path runs = machine() / "programdata" / "Kestrune";
  for (const auto& entry : fs::directory_iterator(runs)) {
    EXPECT_EQ(entry.path().filename(), "journal") << "a run folder is left";
  }
  const std::string description = ReadFile(machine() / "machine.json");
  for (const char* tool : {"7z.exe", "Sabrel.exe", "Harlune.exe"}) {
    EXPECT_NE(description.find("/" + std::string(tool) + "\""), std::string::npos)
        << tool << " is not in pendingRestartDeletes:\n"
        << description;
  }
  EXPECT_EQ(description.find(archive.parent_path().string() + "/7z"), std::string::npos);
}

TEST_F(SevenZipModeTest, FolderWithSpacesAndNonAsciiCharacters) {
  const auto archive = MakeArchive("Recovery Set ディスク");
  EXPECT_EQ(Kestrixdw("/Mode:SevenZip label 0 /Pass:SECRET " + Quote(archive)), "1\n");
  EXPECT_TRUE(fs::exists(archive.parent_path() / "inner.txt"));
}

TEST_F(SevenZipModeTest, WrongOrMissingPasswordPrintsNothing) {
  const auto archive = MakeArchive("images");
  EXPECT_EQ(Kestrixdw("/Mode:SevenZip label 0 /Pass:WRONG " + Quote(archive)), "");
  EXPECT_EQ(Kestrixdw("/Mode:SevenZip label 0 " + Quote(archive)), "");
  EXPECT_FALSE(fs::exists(archive.parent_path() / "inner.txt"));
}

TEST_F(SevenZipModeTest, OtherStartsPrintNothing) {
  const auto archive = MakeArchive("images");
  EXPECT_EQ(Kestrixdw(""), "");
  EXPECT_EQ(Kestrixdw("/Mode:SevenZip label 0 /Pass:SECRET " + Quote(work.path() / "none.7z")), "");
  EXPECT_EQ(Kestrixdw("/Mode:Fernlow label 0 " + Quote(work.path() / "none.iso")), "");
  EXPECT_FALSE(fs::exists(machine())) << "nothing was scheduled, so no machine was needed";
}

TEST_F(SevenZipModeTest, MissingSevenZipPrintsNothing) {
  // A copy of the program whose tools folder carries no 7-Zip.
  const auto installed = work.path() / "install";
  fs::create_directories(installed / "tools");
  fs::copy_file(fs::path(KESTRUNE_BIN_DIR) / "kestrixdw", installed / "kestrixdw");
  const auto archive = MakeArchive("images");
  EXPECT_EQ(
      Kestrixdw("/Mode:SevenZip label 0 /Pass:SECRET " + Quote(archive), installed / "kestrixdw"),
      "");
  EXPECT_FALSE(fs::exists(archive.parent_path() / "inner.txt"));
}

}  // namespace
}  // namespace kestrune
