// Whole runs of the Linux kestrixdw on temporary simulated machines: discs and USB drives
// written, continued, cancelled and refused, as a user would meet them.
#include <gtest/gtest.h>

#include "sim/registry_hive.h"
#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

using testing::RunWizard;
using testing::SampleDiscs;
using testing::WizardProcess;
using testing::WizardRun;

constexpr uint32_t kDualLayerSet = 0x2000000B;
constexpr uint32_t kComplete = 0x80000000;

std::string Line(uint32_t state) { return std::to_string(state) + "\n"; }

class WizardScenarioTest : public ::testing::Test {
 protected:
  std::vector<std::string> Arguments(int discs, uint32_t state = 0,
                                     uint64_t bytesPerDisc = 1 << 20) {
    std::vector<std::string> arguments{"Sample", std::to_string(state)};
    for (const auto& image : SampleDiscs(discs, bytesPerDisc)) arguments.push_back(image.string());
    return arguments;
  }
  /// Slows the recorder so that a script can act while a disc is written.
  void SlowRecorder(uint64_t bytesPerSecond) {
    machine.Change([bytesPerSecond](sim::MachineDescription& d) {
      d.recorders[0].writeBytesPerSecond = bytesPerSecond;
      d.recorders[0].eventIntervalMs = 20;
    });
  }
  uint32_t DiscsWritten() { return machine.Read().discsWritten; }

  sim::testing::TemporaryMachine machine;
};

constexpr char kToTheDrivePage[] = "wait page start\nnext\nwait page info\nnext\nwait page drive\n";

TEST_F(WizardScenarioTest, ADiskUnpluggedWhileTheWipeQuestionIsOpenIsNotWritten) {
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select F\nnext\nwait box 266\nmachine unplug 1\nanswer ok\n"
                                      "wait box 276\nanswer ok\nwait page drive\nclose\n"
                                      "answer yes\nwait end\n",
                                  Arguments(1));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(run.Lines("page write").empty());
  EXPECT_EQ(run.output, "0\n");
}

TEST_F(WizardScenarioTest, InternalAndFixedDisksAreNeverOffered) {
  machine.Change([](sim::MachineDescription& d) {
    sim::DiskDescription fixed = d.disks[1];
    fixed.number = 2;
    fixed.mediaType = "Fixed hard disk media";
    fixed.partitions[0].letter = "G";
    sim::DiskDescription reader = d.disks[1];
    reader.number = 3;
    reader.pnpDeviceId += "3";
    reader.parentContainerId = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";
    reader.partitions[0].letter = "H";
    d.disks.push_back(fixed);
    d.disks.push_back(reader);
  });
  const WizardRun run = RunWizard(
      machine.folder(), std::string(kToTheDrivePage) + "close\nanswer yes\n", Arguments(1));
  EXPECT_TRUE(
      run.Has("drives [\"( E:\\ ) KESTRUNE DVD-RW SIM 24X   \",\"( F:\\ ) Kestrune "
              "SimStick USB Device \"]"))
      << run.Text();
}

TEST_F(WizardScenarioTest, AutoplayIsOffWhileTheWizardRunsAndRestoredAfterwards) {
  const auto hiveFile = machine.folder() / "users" / "Kestrel" / "ntuser.dat";
  auto values = [&hiveFile]() {
    sim::RegistryHive hive;
    EXPECT_TRUE(hive.Load(hiveFile));
    std::string seen;
    for (const char* key :
         {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
          "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"}) {
      const auto* found = hive.FindKey(key);
      if (found == nullptr) continue;
      for (const auto& [name, value] : *found) {
        if (const auto* number = std::get_if<uint32_t>(&value)) {
          seen += name + "=" + std::to_string(*number) + ";";
        }
      }
    }
    return seen;
  };
  const std::string before = values();
  WizardProcess wizard(machine.folder(), Arguments(1));
  wizard.Send("wait page start\n");
  ASSERT_TRUE(wizard.WaitForLine("page start buttons=Next cancel=on"));
  EXPECT_EQ(values(), "DisableAutoplay=1;NoDriveTypeAutoRun=255;");
  wizard.Send("close\n");
  const WizardRun run = wizard.Finish();
  EXPECT_EQ(run.output, "0\n") << run.Text();
  EXPECT_EQ(values(), before);
}

}  // namespace
}  // namespace kestrune
