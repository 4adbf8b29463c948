// The guards of the USB writer: everything that can be checked is checked before the wipe, the
// wipe hits only the disk the user confirmed, a stop is honoured up to the last moment, and a
// stick that failed after its build never looks like a recovery medium.
#include <cstdlib>
#include <set>

#include "engine/usb_write_test_fixture.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using sim::MachineDescription;
using testing::kMiB;

class UsbGuardTest : public testing::UsbRefusalTest {
 protected:
  /// An image made by tar of files of the given sizes, stored sparse: it holds no bytes.
  fs::path SparseImage(const std::string& name, const std::map<std::string, uint64_t>& files) {
    const fs::path content = work.path() / ("content-" + name);
    fs::create_directories(content);
    std::string list;
    for (const auto& [file, size] : files) {
      fs::create_directories((content / file).parent_path());
      std::ofstream(content / file).close();
      fs::resize_file(content / file, size);
      list += " '" + file + "'";
    }
    const fs::path image = work.path() / "set" / name;
    fs::create_directories(image.parent_path());
    const std::string command = "cd '" + content.string() + "' && tar --sparse -cf '" +
                                image.string() + "'" + list;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return image;
  }
  /// The stick and every other disk as they were, and no diskpart run at all.
  void ExpectRefusedBeforeTheWipe(uint32_t result, const std::string& why) {
    const std::string before = Disks();
    const uint32_t runs = DiskpartRuns();
    EXPECT_EQ(Write(), result) << why;
    EXPECT_EQ(Disks(), before) << why;
    EXPECT_EQ(DiskpartRuns(), runs) << why << ": refused before the look-up";
    EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('F') / "old.txt")) << why;
  }
  /// Every disk's partitions and contents: what a wipe would change, whatever number or
  /// instance id the machine has meanwhile given the disk.
  std::multiset<std::string> Devices() {
    std::multiset<std::string> devices;
    for (const auto& disk : temp.Read().disks) {
      std::string text = disk.partitionStyle;
      for (const auto& p : disk.partitions) {
        text += " " + std::to_string(p.sizeBytes) + p.letter + p.fileSystem + p.label +
                (p.active ? "*" : "");
        if (const char letter = sim::DriveLetter(p.letter)) {
          for (const auto& entry : fs::directory_iterator(temp.machine().VolumeFolder(letter))) {
            text += " " + entry.path().filename().string();
          }
        }
      }
      devices.insert(text);
    }
    return devices;
  }
  /// The stick and every other device as they were.
  void ExpectUntouched(uint32_t result, const std::string& why) {
    const auto before = Devices();
    EXPECT_EQ(Write(), result) << why;
    EXPECT_EQ(Devices(), before) << why;
    EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('F') / "old.txt")) << why;
  }
  /// A second USB stick, disk 2 at letter G.
  void PlugSecondStick() {
    temp.Change([](MachineDescription& d) {
      auto other = d.disks[1];
      other.number = 2;
      other.pnpDeviceId = "USBSTOR\\DISK&VEN_OTHER&PROD_STICK\\2";
      other.partitions[0].letter = "G";
      d.disks.push_back(other);
    });
    std::ofstream(temp.machine().VolumeFolder('G') / "theirs.txt") << "somebody else's files";
  }
};

TEST_F(UsbGuardTest, AnImageThatIsNoArchiveOrA7ZipThatCannotRunStopsEverything) {
  UseStandInImages(work.path() / "set");
  std::ofstream(work.path() / "set" / "disc2.iso", std::ios::trunc) << "not an image";
  ExpectRefusedBeforeTheWipe(RESULT_USB_NOT_AN_ARCHIVE, "the second image is no archive");
  EXPECT_EQ(context.problem.name.str(), L"disc2.iso");
  EXPECT_EQ(launcher.unpackings, 0);

  UseStandInImages(work.path() / "set");
  // What sits in the work area as "7z.exe" is no program.
  std::ofstream(InWorkArea("7z.exe")) << "no program";
  ExpectRefusedBeforeTheWipe(RESULT_USB_TOOLS_FAILED, "7-Zip cannot start");
}

TEST_F(UsbGuardTest, AFileOfFourGibibytesCannotGoOntoFat32) {
  constexpr uint64_t kLimit = (1ull << 32) - 1;  // FAT32's largest file
  UseImages({SparseImage("disc1.iso", {{"sources/install.wim", kLimit + 1}})});
  ExpectRefusedBeforeTheWipe(RESULT_USB_FILE_TOO_LARGE, "one byte over the limit");
  EXPECT_EQ(context.problem.name.str(), L"sources/install.wim");
  EXPECT_EQ(context.problem.place.str(), L"disc1.iso");

  // Exactly at the limit the file fits FAT32: the next check, the partition's size, is what
  // refuses this set.
  fs::remove_all(work.path() / "set");
  UseImages({SparseImage("disc1.iso", {{"sources/install.wim", kLimit}})});
  ExpectRefusedBeforeTheWipe(RESULT_USB_SET_TOO_LARGE, "4 GiB less one byte is allowed");
}

TEST_F(UsbGuardTest, ASetThatDoesNotFitThePartitionIsRefused) {
  UseImages({SparseImage("disc1.iso", {{"sources/install.wim", 600 * kMiB}})});
  ASSERT_LT(context.requiredMB, 600u) << "the survey's size comes from the tiny image";
  ExpectRefusedBeforeTheWipe(RESULT_USB_SET_TOO_LARGE, "600 MiB into a partition of about 500");
  EXPECT_GT(context.problem.needed, 600u);
  EXPECT_EQ(context.problem.available, context.requiredMB);
}

TEST_F(UsbGuardTest, TheComparisonsRoomOnTheComputersDiskIsCheckedBeforeTheWipe) {
  UseStandInImages(work.path() / "set");
  temp.Change([this](MachineDescription& d) {
    d.folderQuotas.push_back({(work.path() / "set").string(), fs::file_size(
        work.path() / "set" / "disc1.iso") * 2 + 4096});
  });
  context.compareAfterWrite = 1;
  ExpectRefusedBeforeTheWipe(RESULT_WORK_DRIVE_TOO_SMALL, "the image folder's disk is full");
  EXPECT_GE(context.problem.needed, 1u) << "in GB, rounded up";
  context.compareAfterWrite = 0;
  EXPECT_EQ(Write(), RESULT_OK) << "without the comparison no room is needed";
}

TEST_F(UsbGuardTest, AnotherDeviceAtTheConfirmedLetterOrNumberIsNeverWiped) {
  UseStandInImages(work.path() / "set");
  Confirm();
  confirmOnWrite = false;
  // Another stick of the same kind took the letter after the user confirmed.
  temp.Change([](MachineDescription& d) {
    d.disks[1].pnpDeviceId = "USBSTOR\\DISK&VEN_KESTRUNE&PROD_SIMSTICK\\ANOTHER";
  });
  ExpectUntouched(RESULT_USB_DRIVE_CHANGED, "a different device at the letter");

  // Swapped just as the look-up starts, after every look of the program's own.
  temp.Change([](MachineDescription& d) { d = sim::DefaultMachineDescription(); });
  Confirm();
  temp.Change([](MachineDescription& d) {
    d.faults.changesWhenDiskpartRunStarts = {
        {d.diskpartRuns + 1, {{"/disks/1/pnpDeviceId", "USBSTOR\\DISK&VEN_OTHER\\9"}}}};
  });
  ExpectUntouched(RESULT_USB_DRIVE_CHANGED, "swapped as the look-up starts");

  // The disks renumbered as the look-up starts: the confirmed stick is no longer disk 1, and
  // the other stick now is.
  temp.Change([](MachineDescription& d) { d = sim::DefaultMachineDescription(); });
  PlugSecondStick();
  Confirm();
  temp.Change([](MachineDescription& d) {
    d.faults.changesWhenDiskpartRunStarts = {
        {d.diskpartRuns + 1, {{"/disks/1/number", "2"}, {"/disks/2/number", "1"}}}};
  });
  ExpectUntouched(RESULT_USB_DRIVE_CHANGED, "renumbered as the look-up starts");
  EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('G') / "theirs.txt"));
}

TEST_F(UsbGuardTest, AStopUpToTheLastMomentLeavesTheStickAlone) {
  UseStandInImages(work.path() / "set");
  stop.Set();
  ExpectUntouched(RESULT_STOPPED, "a stop before the look-up");
  EXPECT_TRUE(stop.TryConsume()) << "left for the wait that is meant to take it";

  exitRequested = 1;
  ExpectUntouched(RESULT_STOPPED, "the user chose to leave");
  exitRequested = 0;

  // A stop while the wipe runs: the disk is clean, but nothing is built on it.
  const uint32_t runs = DiskpartRuns();
  launcher.onStart = [this, runs](const std::wstring&, const std::wstring& parameters) {
    if (parameters.find(L"diskpart") != std::wstring::npos && DiskpartRuns() == runs + 1) {
      stop.Set();
    }
  };
  EXPECT_EQ(Write(), RESULT_STOPPED);
  EXPECT_EQ(DiskpartRuns(), runs + 2) << "look-up and wipe, no build";
  EXPECT_FALSE(step.MarkIncomplete(worker)) << "no stick was built";
}

TEST_F(UsbGuardTest, ADiskpartThatAnswersInAnotherLanguageIsUnderstood) {
  UseStandInImages(work.path() / "set");
  temp.Change([](MachineDescription& d) { d.diskpartLanguage = "de"; });
  EXPECT_EQ(Write(), RESULT_OK);
  EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('F') / "version.doc"));
}

TEST_F(UsbGuardTest, AStickThatFailedAfterItsBuildIsNoLongerActiveNorLabelledRecovery) {
  UseStandInImages(work.path() / "set");
  launcher.sevenZipWithoutProcess = true;
  ASSERT_EQ(Write(), RESULT_STEP_FAILED);
  ASSERT_EQ(temp.Read().disks[1].partitions.at(0).label, "RECOVERY");
  EXPECT_TRUE(step.MarkIncomplete(worker));
  const auto partition = temp.Read().disks[1].partitions.at(0);
  EXPECT_FALSE(partition.active);
  EXPECT_EQ(partition.label, "INCOMPLETE");
  EXPECT_FALSE(step.MarkIncomplete(worker)) << "once per job";
}

}  // namespace
}  // namespace kestrune
