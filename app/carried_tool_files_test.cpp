#include "app/carried_tool_files.h"

#include <gtest/gtest.h>

#include "app/test_support.h"

namespace kestrune {
namespace {

using testing::FakePlatform;
using testing::ReadFile;
using testing::TempFolder;
using Write = std::pair<int, std::wstring>;

class CarriedToolFilesTest : public ::testing::Test {
 protected:
  std::wstring In(const std::string& name) { return testing::Wide(folder.path() / name); }

  TempFolder folder;
  FakePlatform fakes;
};

TEST_F(CarriedToolFilesTest, WritesTheToolsInOrder) {
  fakes.systemInfo.wow64 = false;
  ExtractTools(fakes.tools, testing::Wide(folder.path()));
  EXPECT_EQ(fakes.carriedTools.writes, (std::vector<Write>{{133, In("7z.exe")},
                                                           {134, In("7z.dll")},
                                                           {137, In("Sabrel.exe")},
                                                           {139, In("Harlune.exe")}}));
  EXPECT_EQ(
      fakes.restartCleanup.scheduled,
      (std::vector<std::wstring>{In("7z.exe"), In("7z.dll"), In("Sabrel.exe"), In("Harlune.exe")}));
  EXPECT_EQ(fakes.clock.pauses, (std::vector<uint32_t>{200, 200, 200, 200}));
}

TEST_F(CarriedToolFilesTest, SixtyFourBitSabrelOnWow64AndWhenTheQueryFails) {
  for (const auto answer : {std::optional<bool>(true), std::optional<bool>()}) {
    TempFolder target;
    FakePlatform fakes;
    fakes.systemInfo.wow64 = answer;
    ExtractTools(fakes.tools, testing::Wide(target.path()));
    ASSERT_EQ(fakes.carriedTools.writes.size(), 4u);
    EXPECT_EQ(fakes.carriedTools.writes[2].first, 138);
  }
}

TEST_F(CarriedToolFilesTest, ExistingFileOrFolderIsNeverReplaced) {
  folder.WriteFile("7z.exe", "the user's own 7-Zip");
  std::filesystem::create_directory(folder.path() / "Harlune.exe");
  const auto written = ExtractTools(fakes.tools, testing::Wide(folder.path()));

  EXPECT_EQ(ReadFile(folder.path() / "7z.exe"), "the user's own 7-Zip");
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "Harlune.exe"));
  EXPECT_EQ(fakes.carriedTools.writes,
            (std::vector<Write>{{134, In("7z.dll")}, {137, In("Sabrel.exe")}}));
  // Neither scheduled for deletion nor waited for.
  EXPECT_EQ(fakes.restartCleanup.scheduled.size(), 2u);
  EXPECT_EQ(fakes.clock.pauses.size(), 2u);
  // Only what this call wrote is named for removal afterwards.
  EXPECT_EQ(written, (std::vector<std::wstring>{L"7z.dll", L"Sabrel.exe"}));
}

TEST_F(CarriedToolFilesTest, TargetBeyondThePathLimitIsNotWritten) {
  std::string deep = "d";
  while (In(deep).size() < 260) deep += "/d";
  std::filesystem::create_directories(folder.path() / deep);
  ExtractToolFile(fakes.tools, In(deep), L"7z.exe", 133);
  EXPECT_TRUE(fakes.carriedTools.writes.empty());
}

TEST_F(CarriedToolFilesTest, OnlyToolsThisProcessWroteCountAsItsOwnUntilTheyAreGone) {
  folder.WriteFile("7z.exe", "the user's own 7-Zip");
  ExtractTools(fakes.tools, testing::Wide(folder.path()));
  const std::vector<std::wstring> own{L"7z.dll", L"Sabrel.exe", L"Harlune.exe"};
  EXPECT_EQ(ToolsWrittenInto(testing::Wide(folder.path())), own);
  EXPECT_TRUE(ToolsWrittenInto(testing::Wide(folder.path()) + L"/other").empty());

  std::filesystem::remove(folder.path() / "Sabrel.exe");
  ForgetDeletedTools(testing::Wide(folder.path()));
  EXPECT_EQ(ToolsWrittenInto(testing::Wide(folder.path())),
            (std::vector<std::wstring>{L"7z.dll", L"Harlune.exe"}));
  // A file of that name put there later is somebody else's.
  folder.WriteFile("Sabrel.exe", "not ours");
  EXPECT_EQ(ToolsWrittenInto(testing::Wide(folder.path())),
            (std::vector<std::wstring>{L"7z.dll", L"Harlune.exe"}));
}

}  // namespace
}  // namespace kestrune
