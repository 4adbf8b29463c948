#include "platform/host/host_carried_tools.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/native_path.h"
#include "test_support/test_files.h"

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;

class HostCarriedToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root / "tools");
    fs::create_directories(root / "work");
    std::ofstream(root / "tools" / "Sabrel.exe") << "sabrel";
    fs::permissions(root / "tools" / "Sabrel.exe", fs::perms::owner_all);
  }
  kestrune::testing::TempFolder temp;
  fs::path root = temp.path();
};

TEST_F(HostCarriedToolsTest, CopiesTheToolAndKeepsItExecutable) {
  HostCarriedTools tools(root / "tools");
  const auto target = root / "work" / "Sabrel.exe";
  std::ofstream(target) << "older content";
  EXPECT_TRUE(tools.WriteTool(138, FromNativePath(target)));
  std::ifstream in(target);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "sabrel");
  EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_TRUE(tools.WriteTool(137, FromNativePath(root / "work" / "Sabrel32.exe")));
}

TEST_F(HostCarriedToolsTest, UnknownOrUncarriedToolFails) {
  HostCarriedTools tools(root / "tools");
  EXPECT_FALSE(tools.WriteTool(999, FromNativePath(root / "work" / "x.exe")));
  EXPECT_FALSE(tools.WriteTool(134, FromNativePath(root / "work" / "7z.dll")));
  EXPECT_FALSE(fs::exists(root / "work" / "7z.dll"));
}

}  // namespace
}  // namespace kestrune::platform::host
