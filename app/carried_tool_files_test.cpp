#include "app/carried_tool_files.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "app/work_area.h"
#include "app/work_folder.h"
#include "platform/native_path.h"

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

TEST_F(CarriedToolFilesTest, TheToolsGoIntoTheRunsWorkAreaAndNeverNextToTheImages) {
  // Files the user (or anybody who can write the Downloads folder) put beside the images.
  for (const char* name : {"7z.exe", "7z.dll", "Sabrel.exe", "Harlune.exe"}) {
    folder.WriteFile(name, std::string("planted ") + name);
  }
  RunContext context{};
  context.sources[0].path.Assign(In("disc1.iso"));
  context.sourceCount = 1;
  {
    RunWorkArea area(fakes.tools, context);
    ASSERT_TRUE(area.ready());
    const std::wstring workArea = context.workArea.str();
    EXPECT_NE(workArea.find(testing::Wide(fakes.privateFolders.root.path())), std::wstring::npos);
    const auto written = ExtractTools(fakes.tools, workArea);
    EXPECT_EQ(written.size(), 4u) << "nothing of the image folder counts as the program's own";
    EXPECT_EQ(CarriedToolPath(context, L"7z.exe"), JoinPath(workArea, L"7z.exe"));
    EXPECT_EQ(ReadFile(platform::ToNativePath(CarriedToolPath(context, L"Sabrel.exe"))),
              "tool 137");
  }
  for (const char* name : {"7z.exe", "7z.dll", "Sabrel.exe", "Harlune.exe"}) {
    EXPECT_EQ(ReadFile(folder.path() / name), std::string("planted ") + name);
  }
  EXPECT_TRUE(fakes.privateFolders.Left().empty()) << "the work area goes with the run";
  EXPECT_EQ(CarriedToolPath(context, L"7z.exe"), L"") << "and no tool path is left to run";
}

TEST_F(CarriedToolFilesTest, TargetBeyondThePathLimitIsNotWritten) {
  std::string deep = "d";
  while (In(deep).size() < 260) deep += "/d";
  std::filesystem::create_directories(folder.path() / deep);
  ExtractToolFile(fakes.tools, In(deep), L"7z.exe", 133);
  EXPECT_TRUE(fakes.carriedTools.writes.empty());
}

}  // namespace
}  // namespace kestrune
