#include "app/work_area.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/test_support.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;

class FailingPrivateFolders : public platform::PrivateFolders {
 public:
  std::wstring CreateRunFolder() override { return {}; }
};

TEST(RunWorkAreaTest, EachRunGetsAFreshPrivateFolderThatGoesWithEverythingInIt) {
  FakePlatform fakes;
  RunContext context{};
  fs::path first;
  {
    RunWorkArea area(fakes.tools, context);
    ASSERT_TRUE(area.ready());
    first = platform::ToNativePath(context.workArea.view());
    struct stat info {};
    ASSERT_EQ(::lstat(first.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "nobody but its owner may open it";
    EXPECT_TRUE(fs::is_empty(first));
    EXPECT_EQ(fakes.restartCleanup.scheduled, (std::vector<std::wstring>{context.workArea.str()}));

    // What the steps leave: tools (some read-only), a sub-folder, and a link out of it.
    testing::WriteFile(first / "7z.exe", "tool");
    fs::permissions(first / "7z.exe", fs::perms::owner_read);
    testing::WriteFile(first / "md5check" / "DISC1_MD5.txt", "list");
    fs::create_directory_symlink(fakes.privateFolders.root.path(), first / "md5check" / "out");
    RunWorkArea second(fakes.tools, context);
    EXPECT_NE(platform::ToNativePath(context.workArea.view()), first) << "a fresh folder";
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(first)));
  EXPECT_TRUE(fakes.privateFolders.Left().empty());
  EXPECT_TRUE(fs::is_directory(fakes.privateFolders.root.path())) << "a link is never followed";
  EXPECT_TRUE(context.workArea.view().empty());
}

TEST(RunWorkAreaTest, WithoutAPrivateFolderTheRunHasNoWorkArea) {
  FakePlatform fakes;
  FailingPrivateFolders none;
  ToolServices tools = fakes.tools;
  ToolServices failing{tools.processes, tools.carriedTools, tools.systemInfo, tools.restartCleanup,
                       tools.clock,     tools.files,        none};
  RunContext context{};
  context.workArea.Assign(L"/stale");
  RunWorkArea area(failing, context);
  EXPECT_FALSE(area.ready());
  EXPECT_TRUE(context.workArea.view().empty()) << "nothing of an earlier run is taken";
}

}  // namespace
}  // namespace kestrune
