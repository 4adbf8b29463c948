#include "platform/host/host_volume_naming.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/native_path.h"

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;

dev_t Device(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_dev : static_cast<dev_t>(-1);
}

/// The mount point VolumeOf names for `path`, as a native path; empty when it fails.
fs::path VolumeOf(const fs::path& path) {
  HostVolumeNaming naming;
  std::wstring root;
  std::wstring name;
  if (!naming.VolumeOf(FromNativePath(path), root, name)) return {};
  EXPECT_EQ(root, name) << "the user knows the volume by its mount point";
  return ToNativePath(root);
}

TEST(HostVolumeNamingTest, TheVolumeIsTheMountPointAboveThePath) {
  const fs::path temp = fs::temp_directory_path();
  const fs::path root = VolumeOf(temp);
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(Device(root), Device(temp));
  EXPECT_TRUE(root == root.root_path() || Device(root.parent_path()) != Device(root))
      << root << " is not where its file system is mounted";
  // A work folder that does not exist yet, or a file in it, lies on the same volume.
  EXPECT_EQ(VolumeOf(temp / "not" / "made" / "yet.iso"), root);
}

TEST(HostVolumeNamingTest, AnotherFileSystemIsAnotherVolume) {
  if (Device("/proc") == Device("/")) GTEST_SKIP() << "/proc is not mounted on its own here";
  EXPECT_EQ(VolumeOf("/proc/self/status"), fs::path("/proc"));
  EXPECT_EQ(VolumeOf("/"), fs::path("/"));
}

}  // namespace
}  // namespace kestrune::platform::host
