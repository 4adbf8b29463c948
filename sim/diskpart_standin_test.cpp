#include "sim/diskpart_standin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/host/host_process_launcher.h"
#include "platform/native_path.h"
#include "sim/sim_test_support.h"
#include "sim/sim_volume_info.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryMachine;

constexpr uint64_t kMiB = 1024ull * 1024;

// The three scripts the USB writer runs, as it formats them.
std::string LookupScript(char letter) {
  return std::string("sel vol ") + letter + "\ndetail vol\n";
}
std::string WipeScript(int disk) { return "sel dis " + std::to_string(disk) + "\nclean\n"; }
std::string BuildScript(int disk, unsigned megabytes, const std::string& label, char letter) {
  return "sel dis " + std::to_string(disk) +
         "\nclean\nautomount disable\ncreate par primary size=" + std::to_string(megabytes) +
         " noerr\nautomount enable\nsel par 1\nonline volume\nactive\nformat fs=FAT32 label=\"" +
         label + "\" quick\nassign letter=" + letter + "\nexit";
}

class DiskpartTest : public ::testing::Test {
 protected:
  int Run(const std::string& script) {
    std::ostringstream out;
    const int code = RunDiskpartScript(temp.machine(), script, out);
    output = out.str();
    return code;
  }
  bool Says(const std::string& text) const { return output.find(text) != std::string::npos; }
  const DiskDescription& Stick() {
    description = temp.Read();
    return description.disks[1];
  }

  TemporaryMachine temp;
  std::string output;
  MachineDescription description;
};

TEST_F(DiskpartTest, DetailVolumeNamesTheDiskBehindALetter) {
  EXPECT_EQ(Run(LookupScript('F')), diskpart::kOk);
  EXPECT_TRUE(Says("\r\n* Disk 1    Online")) << output;
  EXPECT_EQ(Run(LookupScript('C')), diskpart::kOk);
  EXPECT_TRUE(Says("\r\n* Disk 0 ")) << output;
  EXPECT_EQ(Run(LookupScript('E')), diskpart::kOk);
  EXPECT_FALSE(Says("* Disk")) << "a recorder's volume has no disk";
  EXPECT_EQ(Run(LookupScript('Q')), diskpart::kCommandFailed);
  EXPECT_TRUE(Says("The volume you selected is not valid or does not exist."));
  EXPECT_FALSE(Says("* Disk"));
}

TEST_F(DiskpartTest, WipeAndBuildLeaveOneActiveFat32PartitionOfTheRequestedSize) {
  std::ofstream(temp.machine().VolumeFolder('F') / "old.txt") << "old content";
  ASSERT_EQ(Run(WipeScript(1)), diskpart::kOk) << output;
  EXPECT_TRUE(Stick().partitions.empty());
  EXPECT_FALSE(fs::exists(temp.machine().VolumeFolder('F')));

  ASSERT_EQ(Run(BuildScript(1, 10740, "RECOVERY", 'F')), diskpart::kOk) << output;
  const auto& stick = Stick();
  ASSERT_EQ(stick.partitions.size(), 1u);
  const auto& partition = stick.partitions[0];
  EXPECT_EQ(partition.sizeBytes, 10740 * kMiB);
  EXPECT_EQ(partition.fileSystem, "FAT32");
  EXPECT_EQ(partition.label, "RECOVERY");
  EXPECT_EQ(partition.letter, "F");
  EXPECT_TRUE(partition.active);
  EXPECT_TRUE(description.automount) << "the script switches automatic mounting back on";
  EXPECT_LT(partition.offsetBytes + partition.sizeBytes, stick.sizeBytes)
      << "the rest stays unallocated";
  EXPECT_TRUE(fs::is_directory(temp.machine().VolumeFolder('F')));
  EXPECT_TRUE(fs::is_empty(temp.machine().VolumeFolder('F')));

  SimVolumeInfo volumes(temp.machine());
  platform::VolumeSpace space;
  ASSERT_TRUE(volumes.GetFreeSpace(L"F:\\", space));
  EXPECT_EQ(space.totalBytes, 10740 * kMiB);
  EXPECT_EQ(space.freeBytesToCaller, 10740 * kMiB);
  std::ofstream(temp.machine().VolumeFolder('F') / "part.swm") << std::string(4096, 'x');
  ASSERT_TRUE(volumes.GetFreeSpace(volumes.DriveRoot(L'F'), space));
  EXPECT_EQ(space.freeBytesToCaller, 10740 * kMiB - 4096);
}

TEST_F(DiskpartTest, FailuresEndTheScriptWithANonZeroCode) {
  temp.Change([](MachineDescription& d) { d.disks[1].sizeBytes = 64'023'257'088; });
  EXPECT_EQ(Run(BuildScript(1, 40000, "RECOVERY", 'F')), diskpart::kServiceFailed)
      << "diskpart formats FAT32 only up to 32 GB";
  EXPECT_TRUE(Says("The size of the volume is too big."));
  EXPECT_TRUE(Stick().partitions[0].letter.empty()) << "the script stopped before assigning";

  // noerr lets the script go on after a partition that does not fit, but nothing is left to select.
  EXPECT_EQ(Run(BuildScript(1, 90000, "RECOVERY", 'F')), diskpart::kCommandFailed);
  EXPECT_TRUE(Says("There is not enough usable space for this operation."));

  EXPECT_EQ(Run(WipeScript(0)), diskpart::kServiceFailed) << "the system disk is never cleaned";
  EXPECT_EQ(temp.Read().disks[0].partitions.size(), 1u);
  EXPECT_EQ(Run(WipeScript(7)), diskpart::kCommandFailed);
  EXPECT_EQ(Run("sel dis 1\nformat fs=FAT32 quick\n"), diskpart::kCommandFailed);
  EXPECT_EQ(Run("bogus command\n"), diskpart::kCommandFailed);
}

TEST_F(DiskpartTest, AssignRefusesALetterThatIsTaken) {
  ASSERT_EQ(Run(WipeScript(1)), diskpart::kOk);
  EXPECT_EQ(Run(BuildScript(1, 1000, "RECOVERY", 'E')), diskpart::kServiceFailed);
  EXPECT_TRUE(Says("The specified drive letter is not free to be assigned."));
}

TEST_F(DiskpartTest, InjectedFailureFiresAtItsCommand) {
  temp.Change([](MachineDescription& d) { d.faults.diskpartFailCommand = "format"; });
  EXPECT_EQ(Run(LookupScript('F')), diskpart::kOk);
  EXPECT_EQ(Run(BuildScript(1, 1000, "RECOVERY", 'F')), diskpart::kServiceFailed);
  EXPECT_EQ(Stick().partitions.at(0).fileSystem, "");
}

// The form the program uses on Windows, through the host launcher and the built stand-in:
// another process changes the machine, and this one sees the change.
TEST_F(DiskpartTest, CommandInterpreterFormRunsDiskpartInAnotherProcess) {
  ::setenv("KESTRUNE_MACHINE", temp.folder().c_str(), 1);
  const fs::path work = temp.folder() / "work";
  fs::create_directories(work);
  std::ofstream(work / "rec1.tmp") << BuildScript(1, 2000, "RECOVERY", 'G');
  const fs::path system = temp.machine().SystemFolder();
  platform::host::HostProcessLauncher launcher(fs::path(KESTRUNE_BIN_DIR) / "kestrune-cmd", system);
  const std::wstring script = platform::FromNativePath(work / "rec1.tmp");
  const std::wstring out = platform::FromNativePath(work / "rec2.tmp");
  const std::wstring cmd = platform::FromNativePath(system / "cmd.exe");
  const std::wstring parameters = L"/D /C " + platform::FromNativePath(system / "chcp.com") +
                                  L" 437 & " + platform::FromNativePath(system / "diskpart.exe") +
                                  L" /s \"" + script + L"\" > \"" + out + L"\"";
  auto started = launcher.StartHidden(cmd, parameters, platform::FromNativePath(work));
  ASSERT_TRUE(started.started);
  ASSERT_TRUE(started.process->WaitForExit(20000));
  uint32_t code = 99;
  ASSERT_TRUE(started.process->ReadExitCode(code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(
      testing::ReadFile(work / "rec2.tmp").find("DiskPart successfully formatted the volume."),
      std::string::npos);
  EXPECT_EQ(Stick().partitions.at(0).letter, "G");
  EXPECT_TRUE(fs::is_directory(temp.machine().VolumeFolder('G')));

  std::ofstream(work / "rec1.tmp") << "sel vol Z\n";
  started = launcher.StartHidden(cmd, parameters, platform::FromNativePath(work));
  ASSERT_TRUE(started.started && started.process->WaitForExit(20000));
  ASSERT_TRUE(started.process->ReadExitCode(code));
  EXPECT_NE(code, 0u) << "cmd passes diskpart's failure on";
  ::unsetenv("KESTRUNE_MACHINE");
}

}  // namespace
}  // namespace kestrune::sim
