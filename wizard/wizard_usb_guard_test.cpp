// Whole USB runs of the Linux kestrixdw on temporary simulated machines, where the stick must
// not be written or must not look good afterwards: one row a fault, with the message the user
// sees and what every disk holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "sim/default_machine.h"
#include "sim/machine_actions.h"
#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using sim::MachineDescription;
using testing::RunWizard;
using testing::SampleDiscs;
using testing::WizardRun;

constexpr uint64_t kMiB = 1024ull * 1024;

/// Up to the wipe question, answered OK, and on to the Write page.
std::string ToTheWrite(bool compare) {
  return std::string("wait page start\nnext\nwait page info\nnext\nwait page drive\nselect F\n") +
         "compare " + (compare ? "on" : "off") + "\nnext\nwait box 266\nanswer ok\n" +
         "wait page write\n";
}

class UsbGuardScenarioTest : public ::testing::Test {
 public:
  void SetUp() override {
    fs::create_directories(Images());
    std::ofstream(machine.machine().VolumeFolder('F') / "old.txt") << "what the stick held";
  }
  fs::path Images() const { return folder.path() / "images"; }
  /// The two sample discs, copied into the image folder.
  std::vector<std::string> SampleSet() {
    std::vector<std::string> arguments{"Sample", "0"};
    for (const auto& image : SampleDiscs(2)) {
      fs::copy_file(image, Images() / image.filename(), fs::copy_options::overwrite_existing);
      arguments.push_back((Images() / image.filename()).string());
    }
    return arguments;
  }
  /// One image made by tar of a file of `size` bytes, stored sparse.
  std::vector<std::string> SparseSet(uint64_t size) {
    const fs::path content = folder.path() / "content";
    fs::create_directories(content / "sources");
    std::ofstream(content / "sources" / "install.wim").close();
    fs::resize_file(content / "sources" / "install.wim", size);
    const fs::path image = Images() / "disc1.iso";
    const std::string command =
        "cd '" + content.string() + "' && tar --sparse -cf '" + image.string() + "' sources";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return {"Sample", "0", image.string()};
  }
  /// Every disk's partitions with their flags and what their volumes hold, whatever number
  /// or instance id a disk has meanwhile.
  std::multiset<std::string> Disks() {
    std::multiset<std::string> disks;
    for (const auto& disk : machine.Read().disks) {
      std::string text = disk.partitionStyle;
      for (const auto& p : disk.partitions) {
        text += " " + std::to_string(p.sizeBytes) + p.letter + p.fileSystem + p.label +
                (p.active ? "*" : "");
        if (const char letter = sim::DriveLetter(p.letter)) {
          for (const auto& entry :
               fs::recursive_directory_iterator(machine.machine().VolumeFolder(letter))) {
            text += " " + entry.path().filename().string() + ":" + testing::ReadFile(entry.path());
          }
        }
      }
      disks.insert(text);
    }
    return disks;
  }
  /// Runs the wizard; the message box it ends with must be `box`.
  WizardRun Run(const std::vector<std::string>& arguments, const std::string& script,
                uint32_t box) {
    const WizardRun run = RunWizard(
        machine.folder(), script + "wait box " + std::to_string(box) + "\nanswer ok\nwait end\n",
        arguments);
    EXPECT_EQ(run.status, 0) << run.Text();
    EXPECT_EQ(run.output, "0\n") << run.Text();
    return run;
  }
  void ExpectMarkedIncomplete() {
    const auto stick = machine.Read().disks[1];
    ASSERT_EQ(stick.partitions.size(), 1u);
    EXPECT_EQ(stick.partitions[0].label, "INCOMPLETE");
    EXPECT_FALSE(stick.partitions[0].active) << "a failed stick never starts a computer";
  }

  sim::testing::TemporaryMachine machine;
  testing::TempFolder folder;
};

TEST_F(UsbGuardScenarioTest, ImagesThatCannotGoOntoTheStickAreRefusedBeforeTheWipe) {
  const struct {
    const char* fault;
    std::function<std::vector<std::string>(UsbGuardScenarioTest&)> images;
    uint32_t box;
  } rows[] = {
      {"an image that is no archive",
       [](UsbGuardScenarioTest& t) {
         auto arguments = t.SampleSet();
         std::ofstream(arguments[3], std::ios::trunc) << "not an image";
         return arguments;
       },
       486},
      {"a set larger than its partition",
       [](UsbGuardScenarioTest& t) { return t.SparseSet(600 * kMiB); }, 487},
      {"a file of 4 GiB", [](UsbGuardScenarioTest& t) { return t.SparseSet(4ull << 30); }, 488},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    fs::remove_all(Images());
    fs::create_directories(Images());
    const auto arguments = row.images(*this);
    const auto before = Disks();
    Run(arguments, ToTheWrite(false), row.box);
    EXPECT_EQ(Disks(), before) << "the stick as it was";
    EXPECT_EQ(machine.Read().diskpartRuns, 0u) << "not even looked up";
  }
}

TEST_F(UsbGuardScenarioTest, AComputerDiskWithoutRoomForTheComparisonIsNamedBeforeTheWipe) {
  const auto arguments = SampleSet();
  uint64_t held = 0;
  for (const auto& entry : fs::directory_iterator(Images())) held += entry.file_size();
  machine.Change([&](MachineDescription& d) {
    d.folderQuotas.push_back({Images().string(), held + 8192});
  });
  const auto before = Disks();
  Run(arguments, ToTheWrite(true), 489);
  EXPECT_EQ(Disks(), before);
  EXPECT_EQ(machine.Read().diskpartRuns, 0u);
}

TEST_F(UsbGuardScenarioTest, OnlyTheConfirmedStickIsEverWiped) {
  const auto arguments = SampleSet();
  // A second stick, disk 2 at G:, with somebody else's files.
  machine.Change([](MachineDescription& d) {
    auto other = d.disks[1];
    other.number = 2;
    other.pnpDeviceId = "USBSTOR\\DISK&VEN_OTHER&PROD_STICK\\2";
    other.partitions[0].letter = "G";
    d.disks.push_back(other);
  });
  std::ofstream(machine.machine().VolumeFolder('G') / "theirs.txt") << "somebody else's";
  const struct {
    const char* fault;
    std::map<std::string, std::string> change;  ///< as the look-up starts
  } rows[] = {
      {"the stick swapped for another USB disk at its letter",
       {{"/disks/1/pnpDeviceId", "USBSTOR\\DISK&VEN_SWAPPED&PROD_STICK\\9"}}},
      {"the disks renumbered", {{"/disks/1/number", "2"}, {"/disks/2/number", "1"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    machine.Change([&](MachineDescription& d) {
      d.faults.changesWhenDiskpartRunStarts = {{d.diskpartRuns + 1, row.change}};
    });
    const auto before = Disks();
    Run(arguments, ToTheWrite(false), 276);
    EXPECT_EQ(Disks(), before) << "every disk as it was";
    // Back to the two sticks as they were.
    machine.Change([](MachineDescription& d) {
      d.disks[1].number = 1;
      d.disks[2].number = 2;
      d.disks[1].pnpDeviceId = sim::DefaultMachineDescription().disks[1].pnpDeviceId;
    });
  }
}

TEST_F(UsbGuardScenarioTest, LeavingWhileTheStickIsLookedUpLeavesItAlone) {
  const auto arguments = SampleSet();
  // The look-up takes three seconds: the user closes the wizard meanwhile.
  machine.Change([](MachineDescription& d) {
    d.faults.diskpartSlowRun = d.diskpartRuns + 1;
    d.faults.diskpartSlowMs = 3000;
  });
  const auto before = Disks();
  const WizardRun run = RunWizard(
      machine.folder(), ToTheWrite(false) + "close\nwait box 401\nanswer yes\nwait end\n",
      arguments);
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, "0\n");
  EXPECT_EQ(Disks(), before) << "the stick as it was";
  EXPECT_LE(machine.Read().diskpartRuns, 1u) << "the look-up at most";
}

TEST_F(UsbGuardScenarioTest, AStickThatFailedAfterItsBuildIsMarkedIncompleteAndSaysSo) {
  const auto arguments = SampleSet();
  const struct {
    const char* fault;
    std::function<void(MachineDescription&)> change;
    bool compare;
    uint32_t box;
  } rows[] = {
      {"a byte that differs after unpacking: the MD5 check fails",
       [](MachineDescription& d) { d.disks[1].flipByteAfterUnpack = true; }, false, 492},
      // A stick that went away cannot be marked: the plain message, and nothing else is
      // touched when another device comes (see OnlyTheConfirmedStickIsEverWiped).
      {"the stick goes away while 7-Zip writes",
       [](MachineDescription& d) { d.disks[1].vanishAfterBytes = 64 * 1024; }, false, 475},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    sim::ClearFolder(machine.machine().VolumeFolder('F'));
    machine.Change([&](MachineDescription& d) {
      d = sim::DefaultMachineDescription();
      d.disks[1].writeBytesPerSecond = 0;
      row.change(d);
    });
    Run(arguments, ToTheWrite(row.compare), row.box);
    if (row.box != 475) ExpectMarkedIncomplete();
  }
}

TEST_F(UsbGuardScenarioTest, AComputerDiskThatFillsUpDuringTheComparisonIsNoMismatch) {
  const auto arguments = SampleSet();
  uint64_t held = 0;
  for (const auto& entry : fs::directory_iterator(Images())) held += entry.file_size();
  // Room enough at the start; another program fills the disk while the stick is built.
  machine.Change([&](MachineDescription& d) {
    d.folderQuotas.push_back({Images().string(), held + 4096 * kMiB});
    d.faults.changesAfterDiskpartRun = {
        {d.diskpartRuns + 3, {{"/folderQuotas/0/capacityBytes", std::to_string(held + 4096)}}}};
  });
  const WizardRun run = Run(arguments, ToTheWrite(true), 490);
  EXPECT_TRUE(run.Lines("box 483 ").empty() && run.Lines("box 493 ").empty()) << run.Text();
  ExpectMarkedIncomplete();
  EXPECT_FALSE(fs::exists(Images() / "tempCompareFiles")) << "what could be unpacked is gone";
}

}  // namespace
}  // namespace kestrune
