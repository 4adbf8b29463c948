#include "app/work_folder.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "platform/host/host_file_tree.h"

namespace kestrune {
namespace {

using testing::FakePlatform;
using testing::TempFolder;
namespace fs = std::filesystem;

class WorkFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context.sources[0].path.Assign(testing::Wide(folder.WriteFile("disc1.iso")));
    context.sourceCount = 1;
  }
  fs::path Comparison() const { return folder.path() / "tempCompareFiles"; }

  TempFolder folder;
  RunContext context{};
  FakePlatform fakes;
};

TEST_F(WorkFolderTest, WorkFolderIsTheFolderOfTheFirstSource) {
  EXPECT_EQ(WorkFolder(context), testing::Wide(folder.path()));
  EXPECT_EQ(ComparisonFolder(context), testing::Wide(Comparison()));
  EXPECT_EQ(WorkFolder(RunContext{}), L"");
  EXPECT_EQ(WorkAreaPath(context, L"rec1.tmp"), L"") << "no work area yet";
  context.workArea.Assign(L"/area");
  EXPECT_EQ(WorkAreaPath(context, L"rec1.tmp"), L"/area/rec1.tmp");
}

TEST_F(WorkFolderTest, RemovesTheWholeTreeWithoutRunningAnythingOrFollowingALink) {
  EXPECT_TRUE(CleanWorkFolder(context, fakes.tools)) << "no folder: nothing to do";
  folder.WriteFile("tempCompareFiles/sources/install.swm");
  const auto readOnly = folder.WriteFile("tempCompareFiles/recovery/oem/list.txt");
  fs::permissions(readOnly, fs::perms::owner_read);
  const auto userFile = folder.WriteFile("Documents/letter.txt", "the user's");
  fs::create_directory_symlink(folder.path() / "Documents", Comparison() / "sources" / "docs");
  fs::create_symlink(folder.path() / "disc1.iso", Comparison() / "link.iso");

  EXPECT_TRUE(CleanWorkFolder(context, fakes.tools));

  EXPECT_FALSE(fs::exists(fs::symlink_status(Comparison())));
  EXPECT_TRUE(fakes.launcher.calls.empty()) << "no command interpreter, no current folder";
  EXPECT_EQ(testing::ReadFile(userFile), "the user's") << "a link is removed, not followed";
  EXPECT_TRUE(fs::exists(folder.path() / "disc1.iso"));
}

TEST_F(WorkFolderTest, ALinkOrAFileInTheFoldersPlaceIsLeftAloneWithWhatItPointsTo) {
  const auto userFile = folder.WriteFile("Documents/letter.txt", "the user's");
  fs::create_directory_symlink(folder.path() / "Documents", Comparison());
  EXPECT_FALSE(CleanWorkFolder(context, fakes.tools));
  EXPECT_TRUE(fs::is_symlink(Comparison()));
  EXPECT_EQ(testing::ReadFile(userFile), "the user's");

  fs::remove(Comparison());
  folder.WriteFile("tempCompareFiles", "a file, not a folder");
  EXPECT_FALSE(CleanWorkFolder(context, fakes.tools));
  EXPECT_EQ(testing::ReadFile(Comparison()), "a file, not a folder");
}

TEST_F(WorkFolderTest, AFolderHeldAMomentLongerIsStillRemoved) {
  // What ran in it may hold it a moment after it ended (a console host does under wine): a
  // folder left behind would fail the next disc's comparison.
  class HeldTree : public platform::host::HostFileTree {
   public:
    bool RemoveTree(const std::wstring& path) override {
      return ++tries > 3 && HostFileTree::RemoveTree(path);
    }
    int tries = 0;
  } held;
  folder.WriteFile("tempCompareFiles/held.txt");
  ToolServices tools{fakes.launcher, fakes.carriedTools, fakes.systemInfo, fakes.restartCleanup,
                     fakes.clock,    held,               fakes.privateFolders.folders};
  EXPECT_TRUE(CleanWorkFolder(context, tools));
  EXPECT_EQ(held.tries, 4);
  EXPECT_EQ(fakes.clock.pauses, (std::vector<uint32_t>{50, 50, 50}));
  EXPECT_FALSE(fs::exists(Comparison()));
}

}  // namespace
}  // namespace kestrune
