#include "sim/seven_zip_standin.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/host/host_process_launcher.h"
#include "platform/native_path.h"
#include "sim/sim_test_support.h"
#include "sim/sim_volume_info.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

// Runs the built stand-in as the USB writer runs 7-Zip: x "image" -o"root" -aoa -r.
class SevenZipStandInTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("KESTRUNE_MACHINE", temp.folder().c_str(), 1); }
  void TearDown() override { ::unsetenv("KESTRUNE_MACHINE"); }

  std::unique_ptr<platform::ChildProcess> Start(const fs::path& image, const std::wstring& target) {
    auto started = launcher.StartHidden(
        platform::FromNativePath(fs::path(KESTRUNE_BIN_DIR) / "kestrune-7z"),
        L"x \"" + platform::FromNativePath(image) + L"\" -o\"" + target + L"\" -aoa -r",
        platform::FromNativePath(temp.folder()));
    EXPECT_TRUE(started.started);
    return std::move(started.process);
  }
  uint32_t Finish(platform::ChildProcess& process) {
    EXPECT_TRUE(process.WaitForExit(60000));
    uint32_t code = 99;
    EXPECT_TRUE(process.ReadExitCode(code));
    return code;
  }

  testing::TemporaryMachine temp;
  platform::host::HostProcessLauncher launcher{fs::path(KESTRUNE_BIN_DIR) / "kestrune-cmd",
                                              temp.machine().SystemFolder()};
  SimVolumeInfo volumes{temp.machine()};
};

TEST_F(SevenZipStandInTest, FoldersOutsideTheMachineGetThePlainUnpacking) {
  const fs::path folder = temp.folder() / "tempCompareFiles";
  auto process = Start(testing::SampleImage(1), platform::FromNativePath(folder));
  EXPECT_EQ(Finish(*process), 0u);
  EXPECT_TRUE(fs::is_regular_file(folder / "sources" / "install.swm"));
}

TEST_F(SevenZipStandInTest, WritesOntoAVolumeAtTheDiskSpeed) {
  temp.Change([](MachineDescription& d) { d.disks[1].writeBytesPerSecond = 2'000'000; });
  platform::VolumeSpace before, during, after;
  ASSERT_TRUE(volumes.GetFreeSpace(L"F:\\", before));
  auto process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  bool sawProgress = false;
  while (!process->WaitForExit(50)) {
    if (volumes.GetFreeSpace(L"F:\\", during) &&
        during.freeBytesToCaller < before.freeBytesToCaller)
      sawProgress = true;
  }
  EXPECT_EQ(Finish(*process), 0u);
  EXPECT_TRUE(sawProgress) << "the used space grows while 7-Zip runs";
  ASSERT_TRUE(volumes.GetFreeSpace(L"F:\\", after));
  EXPECT_LT(after.freeBytesToCaller, before.freeBytesToCaller);
  EXPECT_TRUE(fs::is_regular_file(temp.machine().VolumeFolder('F') / "recovery" / "oem" /
                                  "MD5_OEM_RCV_Partition.txt"));
}

TEST_F(SevenZipStandInTest, FullVolumeAndVanishingDiskEndTheUnpackingWithAFatalError) {
  temp.Change([](MachineDescription& d) { d.disks[1].partitions[0].sizeBytes = 500'000; });
  auto process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  EXPECT_EQ(Finish(*process), 2u);
  EXPECT_TRUE(temp.Read().disks[1].partitions[0].full);

  temp.Change([](MachineDescription& d) {
    d.disks[1].partitions[0].sizeBytes = 1'000'000'000;
    d.disks[1].partitions[0].full = false;
    d.disks[1].vanishAfterBytes = 300'000;
  });
  fs::remove_all(temp.machine().VolumeFolder('F'));
  fs::create_directories(temp.machine().VolumeFolder('F'));
  process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  EXPECT_EQ(Finish(*process), 2u);
  EXPECT_FALSE(temp.Read().disks[1].present);
}

TEST_F(SevenZipStandInTest, UnpacedDiskTakesTheFilesDirectlyAndStillFillsUp) {
  temp.Change([](MachineDescription& d) { d.disks[1].writeBytesPerSecond = 0; });
  auto process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  EXPECT_EQ(Finish(*process), 0u);
  EXPECT_TRUE(fs::is_regular_file(temp.machine().VolumeFolder('F') / "sources" / "install.swm"));
  EXPECT_FALSE(fs::exists(temp.folder() / "staging") && !fs::is_empty(temp.folder() / "staging"));

  // An image larger than the room left goes through staging and stops at the capacity.
  temp.Change([](MachineDescription& d) { d.disks[1].partitions[0].sizeBytes = 500'000; });
  fs::remove_all(temp.machine().VolumeFolder('F'));
  fs::create_directories(temp.machine().VolumeFolder('F'));
  process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  EXPECT_EQ(Finish(*process), 2u);
  EXPECT_TRUE(temp.Read().disks[1].partitions[0].full);
}

TEST_F(SevenZipStandInTest, FlippedByteSpoilsExactlyTheLargestUnpackedFile) {
  temp.Change([](MachineDescription& d) { d.disks[1].flipByteAfterUnpack = true; });
  auto process = Start(testing::SampleImage(1), volumes.DriveRoot(L'F'));
  EXPECT_EQ(Finish(*process), 0u);

  const fs::path fresh = temp.folder() / "fresh";
  process = Start(testing::SampleImage(1), platform::FromNativePath(fresh));
  EXPECT_EQ(Finish(*process), 0u);
  std::vector<std::string> differing;
  uintmax_t largest = 0;
  std::string largestName;
  for (const auto& entry : fs::recursive_directory_iterator(fresh)) {
    if (!entry.is_regular_file()) continue;
    const auto relative = fs::relative(entry.path(), fresh);
    if (entry.file_size() > largest) largest = entry.file_size(), largestName = relative.string();
    const auto onStick = temp.machine().VolumeFolder('F') / relative;
    if (testing::ReadFile(entry.path()) != testing::ReadFile(onStick)) {
      differing.push_back(relative.string());
      EXPECT_EQ(fs::file_size(onStick), entry.file_size()) << "same length, other bytes";
    }
  }
  EXPECT_EQ(differing, std::vector<std::string>{largestName});
}

}  // namespace
}  // namespace kestrune::sim
