// The USB write step on a temporary simulated machine: the host launcher runs the cmd.exe and
// diskpart stand-ins and the carried 7-Zip (the real 7zz behind the simulated volumes).
#include "engine/usb_write_test_fixture.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing::UsbRefusalTest;
using testing::UsbWriteStepTest;
using testing::kMiB;
using testing::Md5Of;
using sim::MachineDescription;

TEST_F(UsbWriteStepTest, SampleSetBecomesOneActiveFat32PartitionWithEveryFile) {
  UseSampleSet();
  temp.Change([](MachineDescription& d) { d.disks[1].writeBytesPerSecond = 2 * kMiB; });
  ASSERT_EQ(Write(), RESULT_OK);

  const auto stick = temp.Read().disks[1];
  EXPECT_EQ(stick.partitionStyle, "MBR");
  ASSERT_EQ(stick.partitions.size(), 1u);
  const auto& partition = stick.partitions[0];
  EXPECT_EQ(partition.offsetBytes, kMiB);
  EXPECT_EQ(partition.sizeBytes, context.requiredMB * kMiB);
  EXPECT_EQ(partition.fileSystem, "FAT32");
  EXPECT_EQ(partition.label, "RECOVERY");
  EXPECT_EQ(partition.letter, "F");
  EXPECT_TRUE(partition.active);
  EXPECT_EQ(context.usbVolumeLabel.str(), L"RECOVERY");

  // Every file of every disc, as the last disc that holds it has it (version.doc is on all).
  std::map<std::string, std::string> expected;
  for (const auto& file : set.files) {
    std::string path = file.path;
    std::replace(path.begin(), path.end(), '\\', '/');
    expected[path] = file.md5;
  }
  const fs::path volume = temp.machine().VolumeFolder('F');
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(volume)) {
    if (entry.is_regular_file()) {
      found[fs::relative(entry.path(), volume).string()] = Md5Of(entry.path());
    }
  }
  EXPECT_EQ(found.erase("recovery/oem/MD5_OEM_RCV_Partition.txt"), 1u) << "the set's MD5 list";
  EXPECT_EQ(found, expected) << "the files land on the volume itself, and nothing else is there";

  const auto progress = Progress();
  ASSERT_FALSE(progress.empty()) << "unpacking takes seconds at this pace";
  for (size_t i = 0; i < progress.size(); ++i) {
    EXPECT_GE(progress[i], 1);
    EXPECT_LE(progress[i], 990);
    if (i > 0) {
      EXPECT_GT(progress[i], progress[i - 1]);
    }
  }
  EXPECT_TRUE(LeftInWorkFolder(work.path() / "set").empty()) << "temporary files are removed";
  EXPECT_TRUE(fs::exists(InWorkArea("7z.exe"))) << "the carried 7-Zip was written";
  EXPECT_FALSE(fs::exists(work.path() / "set" / "7z.exe")) << "and never beside the images";
}

TEST_F(UsbWriteStepTest, GptStickIsRebuiltAsMbrAndTheWipeRunIsNotJudged) {
  UseSampleSet();
  temp.Change([](MachineDescription& d) {
    auto& stick = d.disks[1];
    stick.partitionStyle = "GPT";
    sim::PartitionDescription efi;
    efi.sizeBytes = 100 * kMiB;
    efi.type = "GPT: System";
    stick.partitions.insert(stick.partitions.begin(), efi);
    stick.partitions[1].offsetBytes = 101 * kMiB;
    stick.partitions[1].sizeBytes -= 100 * kMiB;
    // The second run (the wipe) fails; the build script cleans again.
    d.faults.diskpartFailCommand = "clean";
    d.faults.diskpartFailRun = d.diskpartRuns + 2;
  });
  context.usbVolumeLabel.Assign(L"MY SET");
  ASSERT_EQ(Write(), RESULT_OK);
  const auto stick = temp.Read().disks[1];
  EXPECT_EQ(stick.partitionStyle, "MBR");
  ASSERT_EQ(stick.partitions.size(), 1u);
  EXPECT_EQ(stick.partitions[0].label, "MY SET");
  EXPECT_TRUE(stick.partitions[0].active);
  EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('F') / "version.doc"));
}

TEST_F(UsbWriteStepTest, FailuresAfterTheWipeFailTheStep) {
  UseStandInImages(work.path());
  temp.Change([](MachineDescription& d) { d.faults.diskpartFailCommand = "format"; });
  EXPECT_EQ(Write(), RESULT_STEP_FAILED) << "the build run fails";
  EXPECT_TRUE(LeftInWorkFolder(work.path()).empty()) << "no temporary file left behind";
  EXPECT_EQ(launcher.unpackings, 0) << "nothing is unpacked after a failed build";

  temp.Change([](MachineDescription& d) { d = sim::DefaultMachineDescription(); });
  launcher.sevenZipWithoutProcess = true;
  EXPECT_EQ(Write(), RESULT_STEP_FAILED) << "7-Zip started without a process to wait for";
  EXPECT_EQ(temp.Read().disks[1].partitions.at(0).label, "RECOVERY") << "after the build";
  launcher.sevenZipWithoutProcess = false;
}

TEST_F(UsbWriteStepTest, StopDuringUnpackingEndsSevenZipWithinAboutASecond) {
  UseSampleSet();
  temp.Change([](MachineDescription& d) { d.disks[1].writeBytesPerSecond = 256 * 1024; });
  auto result = std::async(std::launch::async, [&] { return Write(); });
  // Wait until the unpacking is under way (progress shows on the drive).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Progress().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(Progress().empty());
  const auto stopped = std::chrono::steady_clock::now();
  stop.Set();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(3));
  EXPECT_EQ(result.get(), RESULT_STOPPED) << "a stop while writing ends the step as stopped";
  EXPECT_FALSE(stop.TryConsume()) << "the step consumed the stop signal";
}

TEST_F(UsbRefusalTest, RecoverySetOnTheTargetDisk) {
  UseStandInImages(temp.machine().VolumeFolder('F') / "set");
  ExpectRefused("the images lie on the target volume");
  EXPECT_EQ(DiskpartRuns(), 0u) << "refused before the look-up";

  // A second volume G: on the same stick holds the set.
  temp.Change([](MachineDescription& d) {
    auto& stick = d.disks[1];
    stick.partitions[0].sizeBytes = 16'000 * kMiB;
    auto second = stick.partitions[0];
    second.offsetBytes += second.sizeBytes;
    second.letter = "G";
    stick.partitions.push_back(second);
  });
  UseStandInImages(temp.machine().VolumeFolder('G') / "set");
  ExpectRefused("the images lie on another volume of the disk");
  EXPECT_EQ(DiskpartRuns(), 1u) << "only the look-up ran";

  UseStandInImages(work.path() / "a");
  fs::create_directories(work.path() / "b");
  fs::copy_file(work.path() / "a" / "disc2.iso", work.path() / "b" / "disc2.iso");
  context.sources[1].path.Assign(platform::FromNativePath(work.path() / "b" / "disc2.iso"));
  ExpectRefused("an image outside the work folder would be unpacked from the wrong place");
}

TEST_F(UsbRefusalTest, DisksThatAreNoUsbSticks) {
  UseStandInImages(work.path());
  temp.Change([](MachineDescription& d) {
    auto sata = d.disks[1];
    sata.number = 2;
    sata.interfaceType = "SCSI";
    sata.mediaType = "Fixed hard disk media";
    sata.pnpDeviceId = "SCSI\\DISK&VEN_SIM\\2";
    sata.partitions[0].letter = "H";
    d.disks.push_back(sata);
    auto reader = d.disks[1];
    reader.number = 3;
    reader.pnpDeviceId = "USBSTOR\\DISK&VEN_CARD\\3";
    reader.parentContainerId = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";
    reader.partitions[0].letter = "I";
    d.disks.push_back(reader);
  });
  std::ofstream(temp.machine().VolumeFolder('H') / "data.txt") << "internal data";
  context.targetDriveLetter = L'H';
  ExpectRefused("an internal disk numbered above 0");
  context.targetDriveLetter = L'I';
  ExpectRefused("a card reader built into the computer");
  context.targetDriveLetter = L'C';
  ExpectRefused("the system disk (disk 0)");
  context.targetDriveLetter = L'E';
  ExpectRefused("a recorder: no disk behind the volume");
  context.targetDriveLetter = L'Q';
  ExpectRefused("no such volume");
  EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('H') / "data.txt"));
}

TEST_F(UsbRefusalTest, DoubtAboutTheStick) {
  UseStandInImages(work.path());
  temp.Change([](MachineDescription& d) { d.disks[1].inDeviceTree = false; });
  ExpectRefused("nothing shows that the stick is not built in");
  temp.Change([](MachineDescription& d) {
    d.disks[1].inDeviceTree = true;
    d.systemDrive = "F";
  });
  ExpectRefused("the stick holds the system drive");
}

TEST_F(UsbRefusalTest, DiskChangedBehindItsNumberAfterTheWipeIsNotBuilt) {
  UseStandInImages(work.path());
  for (const auto& change : std::map<std::string, std::string>{
           {"/disks/1/pnpDeviceId", "USBSTOR\\DISK&VEN_OTHER\\1"},
           {"/disks/1/parentContainerId", "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}"},
           {"/disks/1/interfaceType", "SCSI"}}) {
    const std::string& pointer = change.first;
    const std::string& value = change.second;
    temp.Change([&](MachineDescription& d) {
      d.faults.changesAfterDiskpartRun = {{d.diskpartRuns + 2, {{pointer, value}}}};
    });
    const uint32_t runs = DiskpartRuns();
    EXPECT_EQ(Write(), RESULT_STEP_FAILED) << pointer;
    EXPECT_EQ(DiskpartRuns(), runs + 2) << pointer << ": look-up and wipe, but no build";
    EXPECT_TRUE(temp.Read().disks[1].partitions.empty()) << pointer;
    temp.Change([](MachineDescription& d) {
      d = sim::DefaultMachineDescription();
      d.disks[1].writeBytesPerSecond = 0;
    });
  }
}

TEST_F(UsbRefusalTest, SizeAndValuesThatCannotGoIntoAScript) {
  UseStandInImages(work.path());
  const uint32_t required = context.requiredMB;
  temp.Change([&](MachineDescription& d) { d.disks[1].sizeBytes = (required + 1) * kMiB - 1; });
  ExpectRefused("the partition starts 1 MiB in: this disk is 1 byte short");

  temp.Change([&](MachineDescription& d) { d.disks[1].sizeBytes = 64'000 * kMiB; });
  context.requiredMB = 32 * 1024 + 1;
  ExpectRefused("diskpart formats FAT32 only up to 32 GB");
  context.requiredMB = required;
  context.targetDriveLetter = L'f';
  ExpectRefused("a letter that is not A to Z");
  context.targetDriveLetter = L'F';
  context.sourceCount = 0;
  ExpectRefused("no images");
  EXPECT_EQ(DiskpartRuns(), 1u) << "only the size check needed the look-up";
}

}  // namespace
}  // namespace kestrune
