#include "sabrel/drive_lookup.h"

#include <gtest/gtest.h>

#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteFile;
using Names = std::vector<std::string>;

class DriveLookupTest : public ::testing::Test {
 protected:
  DriveLookupTest() { fs::create_directory(drive); }

  TempFolder folder;
  fs::path drive = folder.path() / "drive";
};

TEST_F(DriveLookupTest, ExactSpellingWithSize) {
  WriteFile(drive / "sources" / "install.swm", "12345");
  const Located found = DriveLookup(drive).Find({"sources", "install.swm"});
  EXPECT_EQ(found.outcome, LookupOutcome::kFound);
  EXPECT_EQ(found.size, 5u);
  EXPECT_EQ(found.path, fs::canonical(drive / "sources" / "install.swm"));
}

TEST_F(DriveLookupTest, OtherLetterCaseIsFoundAsOnFat32) {
  WriteFile(drive / "Sources" / "Install.SWM", "x");
  const Located found = DriveLookup(drive).Find({"SOURCES", "install.swm"});
  EXPECT_EQ(found.outcome, LookupOutcome::kFound);
  EXPECT_EQ(found.path.filename(), "Install.SWM");
  EXPECT_EQ(DriveLookup(drive).Find({"sources", "install2.swm"}).outcome, LookupOutcome::kMissing);
  EXPECT_EQ(DriveLookup(drive).Find({"other", "install.swm"}).outcome, LookupOutcome::kMissing);
}

TEST_F(DriveLookupTest, ExactSpellingWinsAndTwoFoldedMatchesAreAmbiguous) {
  WriteFile(drive / "readme.txt", "lower");
  WriteFile(drive / "README.TXT", "upper");
  EXPECT_EQ(DriveLookup(drive).Find({"README.TXT"}).path.filename(), "README.TXT");
  EXPECT_EQ(DriveLookup(drive).Find({"ReadMe.txt"}).outcome, LookupOutcome::kAmbiguous);
}

TEST_F(DriveLookupTest, NonAsciiNamesAreComparedExactly) {
  WriteFile(drive / "d\xC3\xBCr" / "f.txt", "x");
  EXPECT_EQ(DriveLookup(drive).Find({"D\xC3\xBCR", "F.TXT"}).outcome, LookupOutcome::kFound);
  // U+00DC is the upper case of U+00FC, but only ASCII letters are folded.
  EXPECT_EQ(DriveLookup(drive).Find({"d\xC3\x9Cr", "f.txt"}).outcome, LookupOutcome::kMissing);
}

TEST_F(DriveLookupTest, LinksThatLeaveTheDriveAreRefused) {
  WriteFile(folder.path() / "outside" / "secret.txt", "secret");
  fs::create_directory_symlink(folder.path() / "outside", drive / "link");
  fs::create_symlink(folder.path() / "outside" / "secret.txt", drive / "file.txt");
  EXPECT_EQ(DriveLookup(drive).Find({"link", "secret.txt"}).outcome, LookupOutcome::kOutsideDrive);
  EXPECT_EQ(DriveLookup(drive).Find({"FILE.TXT"}).outcome, LookupOutcome::kOutsideDrive);

  // A link that stays on the drive is an ordinary way to reach a file there.
  WriteFile(drive / "real" / "a.txt", "a");
  fs::create_directory_symlink(drive / "real", drive / "alias");
  EXPECT_EQ(DriveLookup(drive).Find({"alias", "a.txt"}).outcome, LookupOutcome::kFound);
}

TEST_F(DriveLookupTest, MissingOrFileRootFindsNothing) {
  WriteFile(folder.path() / "plain", "x");
  for (const fs::path& root : {folder.path() / "absent", folder.path() / "plain"}) {
    const DriveLookup lookup(root);
    EXPECT_FALSE(lookup.RootExists());
    EXPECT_EQ(lookup.Find({"plain"}).outcome, LookupOutcome::kMissing);
  }
}

TEST_F(DriveLookupTest, RootGivenWithTrailingSeparatorOrAsFilesystemRoot) {
  WriteFile(drive / "a.txt", "a");
  EXPECT_EQ(DriveLookup(drive.string() + "/").Find({"a.txt"}).outcome, LookupOutcome::kFound);
  Names fromSlash;
  for (const auto& name : fs::relative(drive / "a.txt", "/")) fromSlash.push_back(name.string());
  EXPECT_EQ(DriveLookup("/").Find(fromSlash).outcome, LookupOutcome::kFound);
}

}  // namespace
}  // namespace kestrune::sabrel
