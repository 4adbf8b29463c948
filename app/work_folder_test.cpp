#include "app/work_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/test_support.h"
#include "platform/host/host_process_launcher.h"

namespace kestrune {
namespace {

using testing::FakeLauncher;
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
  FakeLauncher launcher;
};

TEST_F(WorkFolderTest, WorkFolderIsTheFolderOfTheFirstSource) {
  EXPECT_EQ(WorkFolder(context), testing::Wide(folder.path()));
  EXPECT_EQ(ComparisonFolder(context), testing::Wide(Comparison()));
  EXPECT_EQ(WorkFolder(RunContext{}), L"");
}

TEST_F(WorkFolderTest, NothingRunsWithoutAComparisonFolder) {
  CleanWorkFolder(context, launcher);
  EXPECT_TRUE(launcher.calls.empty());

  folder.WriteFile("tempCompareFiles", "a file, not a folder");
  CleanWorkFolder(context, launcher);
  EXPECT_TRUE(launcher.calls.empty());
}

TEST_F(WorkFolderTest, DeletesFilesThroughTheInterpreterThenEmptyFolders) {
  fs::create_directories(Comparison() / "sources" / "deeper");
  fs::create_directories(Comparison() / "kept");
  folder.WriteFile("tempCompareFiles/kept/left.txt");  // the fake deletes nothing
  launcher.child.endsAfterWaits = 1;

  CleanWorkFolder(context, launcher);

  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0].program, L"cmd.exe");
  EXPECT_EQ(launcher.calls[0].parameters, L"/C del /F /Q /S *.*");
  EXPECT_EQ(launcher.calls[0].folder, testing::Wide(Comparison()));
  EXPECT_FALSE(fs::exists(Comparison() / "sources"));
  EXPECT_TRUE(fs::exists(Comparison() / "kept" / "left.txt")) << "files are never removed here";
}

TEST_F(WorkFolderTest, RemovesTheWholeTreeWithTheRealInterpreterStandIn) {
  folder.WriteFile("tempCompareFiles/sources/install.swm");
  const auto readOnly = folder.WriteFile("tempCompareFiles/recovery/oem/list.txt");
  fs::permissions(readOnly, fs::perms::owner_read);
  fs::create_symlink(folder.path() / "disc1.iso", Comparison() / "link.iso");

  platform::host::HostProcessLauncher processes(fs::path(KESTRUNE_BIN_DIR) / "kestrune-cmd");
  CleanWorkFolder(context, processes);

  EXPECT_FALSE(fs::exists(Comparison()));
  EXPECT_TRUE(fs::exists(folder.path() / "disc1.iso")) << "a link is removed, not followed";
}

TEST_F(WorkFolderTest, AFolderHeldAMomentAfterTheInterpreterEndsIsStillRemoved) {
  // What the interpreter started may hold the folder a moment longer (a console host does
  // under wine): a folder left behind would fail the next disc's comparison.
  const fs::path held = folder.WriteFile("tempCompareFiles/held.txt");
  launcher.child.endsAfterWaits = 1;
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fs::remove(held);
  });
  CleanWorkFolder(context, launcher);
  release.join();
  EXPECT_FALSE(fs::exists(Comparison()));
}

}  // namespace
}  // namespace kestrune
