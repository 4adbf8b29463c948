// Whole runs of the Linux kestrixdw in an image folder that somebody else could write: what
// is planted there never runs, what the user keeps there is never touched or read as the
// program's own, and the command interpreter's AutoRun never moves what the program does.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::RunWizard;
using testing::SampleDiscs;
using testing::WizardRun;

constexpr char kToTheDrivePage[] = "wait page start\nnext\nwait page info\nnext\nwait page drive\n";

// Every file below `folder` with its bytes (a link as its target's name).
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    // The run's verification report is the one file it may leave (and it is checked apart).
    if (testing::IsReportFile(name)) continue;
    if (entry.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      entries[name] = testing::ReadFile(entry.path());
    } else {
      entries[name] = "<dir>";
    }
  }
  return entries;
}

class HostileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Images());
    for (const auto& image : SampleDiscs(2)) fs::copy_file(image, Images() / image.filename());
    documents.WriteFile("letter.txt", "the user's letter");
    documents.WriteFile("photos/holiday.jpg", "jpeg");
  }

  fs::path Images() const { return folder.path() / "images"; }
  fs::path Markers() const { return folder.path() / "markers"; }
  std::vector<std::string> Arguments() const {
    return {"Sample", "0", (Images() / "disc1.iso").string(), (Images() / "disc2.iso").string()};
  }

  /// What anybody who can write the Downloads folder could put beside the images: programs
  /// and a library named as the carried tools, batch files named as the system's programs,
  /// each leaving a marker when it runs, and the user's own files with the names the MD5
  /// check uses.
  void PlantEverything() {
    for (const char* name : {"7z.exe", "7z.dll", "Harlune.exe", "Sabrel.exe"}) {
      const fs::path file = Images() / name;
      testing::WriteFile(file, "#!/bin/sh\ntouch '" + (Markers() / name).string() + "'\nexit 0\n");
      fs::permissions(file, fs::perms::owner_all);
    }
    for (const char* name : {"diskpart", "chcp"}) {
      testing::WriteFile(Images() / (std::string(name) + ".bat"),
                         "echo ran > " + (Markers() / name).string() + "\r\n");
    }
    testing::WriteFile(Images() / "error.txt", "the user's error.txt");
    testing::WriteFile(Images() / "MD5_OEM_RCV_Partition.txt", "the user's list");
    testing::WriteFile(Images() / "DISC1_MD5.txt", "d41d8cd98f00b204e9800998ecf8427e x\n");
    fs::create_directories(Markers());
  }
  /// The program's run folders left on the machine.
  std::vector<fs::path> RunFoldersLeft() {
    std::vector<fs::path> left;
    const fs::path runs = machine.machine().ProgramDataFolder() / "Kestrune";
    std::error_code error;
    for (fs::directory_iterator it(runs, error), end; !error && it != end; it.increment(error)) {
      if (it->path().filename() != "journal") left.push_back(it->path());
    }
    return left;
  }
  void ExpectNothingRanOrChanged(const std::map<std::string, std::string>& images) {
    EXPECT_TRUE(fs::is_empty(Markers())) << "something planted ran";
    EXPECT_EQ(Snapshot(Images()), images) << "the image folder holds exactly what it held";
    EXPECT_EQ(Snapshot(documents.path()), documentsBefore);
    EXPECT_TRUE(RunFoldersLeft().empty()) << "the private work area goes with the run";
  }

  sim::testing::TemporaryMachine machine;
  testing::TempFolder folder;
  testing::TempFolder documents;
  std::map<std::string, std::string> documentsBefore;
};

TEST_F(HostileFolderTest, PlantedProgramsNeverRunAndTheUsersFilesStayAsTheyWere) {
  PlantEverything();
  // The user's AutoRun moves every command interpreter into the Documents folder.
  machine.Change([this](sim::MachineDescription& d) {
    d.cmdAutoRun = "cd /d " + documents.path().string();
  });
  documentsBefore = Snapshot(documents.path());
  const auto images = Snapshot(Images());

  const WizardRun discs = RunWizard(machine.folder(),
                                    std::string(kToTheDrivePage) +
                                        "select E\ncompare on\nnext\nwait page write\n"
                                        "wait box 406\nanswer ok\nwait box 406\nanswer ok\n"
                                        "wait end\n",
                                    Arguments());
  EXPECT_EQ(discs.status, 0) << discs.Text();
  EXPECT_EQ(discs.output, std::to_string(0x80000000u | 0x2000000Bu | 0x300u) + "\n")
      << "both discs burned and compared: " << discs.Text();
  ExpectNothingRanOrChanged(images);

  const WizardRun stick = RunWizard(machine.folder(),
                                    std::string(kToTheDrivePage) +
                                        "select F\ncompare on\nnext\nwait box 266\nanswer ok\n"
                                        "wait page write\nwait end\n",
                                    Arguments());
  EXPECT_EQ(stick.status, 0) << stick.Text();
  EXPECT_EQ(stick.output, std::to_string(0x80000000u) + "\n")
      << "the stick written, checked and compared: " << stick.Text();
  EXPECT_TRUE(stick.Has("status \"Checking files\"")) << stick.Text();
  ExpectNothingRanOrChanged(images);
}

TEST_F(HostileFolderTest, AComparisonFolderThatLinksToTheUsersFilesFailsAndLeavesThemAlone) {
  fs::create_directory_symlink(documents.path(), Images() / "tempCompareFiles");
  documentsBefore = Snapshot(documents.path());
  fs::create_directories(Markers());
  const auto images = Snapshot(Images());

  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select F\ncompare on\nnext\nwait box 266\nanswer ok\n"
                                      "wait page write\nwait box 493\nanswer ok\nwait end\n",
                                  Arguments());
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, "0\n") << "a comparison that could not be made is no success";
  EXPECT_EQ(machine.Read().disks[1].partitions.at(0).label, "INCOMPLETE");
  ExpectNothingRanOrChanged(images);
}

}  // namespace
}  // namespace kestrune
