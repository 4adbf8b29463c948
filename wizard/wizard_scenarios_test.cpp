// Whole runs of the Linux kestrixdw on temporary simulated machines: discs and USB drives
// written, continued, cancelled and refused, as a user would meet them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

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

/// The Drive page with the recorder chosen and the comparison as given, then the Write page.
std::string ToTheWritePage(bool compare) {
  return std::string(kToTheDrivePage) + "select E\ncompare " + (compare ? "on" : "off") +
         "\nnext\nwait page write\n";
}

/// Answers the completion message of each of `discs` discs.
std::string AcknowledgeDiscs(int discs) {
  std::string script;
  for (int i = 0; i < discs; ++i) script += "wait box 406\nanswer ok\n";
  return script;
}

TEST_F(WizardScenarioTest, AThreeDiscSetFromScratchIsWrittenComparedAndComplete) {
  const WizardRun run = RunWizard(
      machine.folder(), ToTheWritePage(true) + AcknowledgeDiscs(3) + "wait end\n", Arguments(3));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, Line(kComplete | kDualLayerSet | 0x700));
  EXPECT_EQ(run.transcript.back(), "end 1");
  EXPECT_EQ(DiscsWritten(), 3u);
  EXPECT_EQ(run.Lines("row 2 \"Writing recovery disc #1 (1/3)\" \"Comparing files\"").size(), 1u)
      << run.Text();
  EXPECT_TRUE(run.Has("row 4 \"Writing recovery disc #3 (3/3)\" \"Complete\""));
  EXPECT_TRUE(run.Has("row 5 \"Close\" \"Complete\""));
  EXPECT_TRUE(run.Has("page write buttons=none cancel=off")) << "Cancel is off after the last disc";
  const auto boxes = run.Lines("box 406 ");
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[2].find("Recovery disc #3 complete.\\n\\nRemove disc from E drive, label it "
                          "'Recovery disc Sample (3/3)'"),
            std::string::npos)
      << boxes[2];
}

TEST_F(WizardScenarioTest, ASetStartedBeforeContinuesAtDiscTwo) {
  const WizardRun run =
      RunWizard(machine.folder(), ToTheWritePage(false) + AcknowledgeDiscs(2) + "wait end\n",
                Arguments(3, kDualLayerSet | 0x100));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, Line(kComplete | kDualLayerSet | 0x700));
  EXPECT_EQ(DiscsWritten(), 2u);
  EXPECT_EQ(run.Lines("row 2 ")[0].rfind("row 2 \"Writing recovery disc #2 (2/3)\" ", 0), 0u)
      << run.Text();
  EXPECT_TRUE(run.Lines("row 2 \"Writing recovery disc #1").empty());
  EXPECT_TRUE(run.Has("row 3 \"Writing recovery disc #3 (3/3)\" \"Complete\""));
}

TEST_F(WizardScenarioTest, CancellingDuringABurnAsks402WithNoAsTheDefault) {
  SlowRecorder(500000);
  const WizardRun run = RunWizard(
      machine.folder(),
      ToTheWritePage(false) +
          // No, the default, lets the burn go on to the end.
          "wait status Writing.data\ncancel\nwait box 402\nanswer default\n" + AcknowledgeDiscs(1) +
          // Yes cancels the second disc's burn and ends the wizard.
          "wait status Writing.data\ncancel\nwait box 402\nanswer yes\nwait end\n",
      Arguments(2));
  EXPECT_EQ(run.status, 0) << run.Text();
  const auto boxes = run.Lines("box 402 ");
  ASSERT_EQ(boxes.size(), 2u) << run.Text();
  EXPECT_EQ(boxes[0].rfind("box 402 buttons=YesNo default=No ", 0), 0u) << boxes[0];
  EXPECT_EQ(run.output, Line(kDualLayerSet | 0x100)) << "disc 1 only, and not complete";
  EXPECT_TRUE(run.Lines("box 471 ").empty()) << "a burn cancelled on request is no failure";
  EXPECT_EQ(DiscsWritten(), 1u);
}

TEST_F(WizardScenarioTest, TheWizardCannotBeLeftWhileVerifyingOrComparing) {
  // A 7-Zip that takes its time keeps the comparison going while the script asks to leave.
  testing::TempFolder tools;
  const auto slow = tools.WriteFile("slow-7zz", "#!/bin/sh\nsleep 2\nexec 7zz \"$@\"\n");
  std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
  SlowRecorder(500000);
  const WizardRun run = RunWizard(machine.folder(),
                                  ToTheWritePage(true) +
                                      "wait status Verifying\ncancel\nwait box 407\nanswer ok\n"
                                      "wait status Comparing\nclose\nwait box 408\nanswer ok\n" +
                                      AcknowledgeDiscs(1) + "wait end\n",
                                  Arguments(1), {{"KESTRUNE_7ZZ", slow.string()}});
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(
      run.Has("box 407 buttons=OK default=OK text=\"Cannot exit application while "
              "verifying disc.\""))
      << run.Text();
  EXPECT_TRUE(
      run.Has("box 408 buttons=OK default=OK text=\"Cannot exit application while "
              "comparing files.\""));
  EXPECT_TRUE(run.Lines("box 402 ").empty());
  EXPECT_EQ(run.output, Line(kComplete | kDualLayerSet | 0x100));
}

TEST_F(WizardScenarioTest, AFailedBurnIsRetriedOnItsOwnRow) {
  machine.Change(
      [](sim::MachineDescription& d) { d.recorders[0].failCalls["Write"] = 0xC0AA0402; });
  const WizardRun run = RunWizard(
      machine.folder(),
      ToTheWritePage(false) + "wait box 471\nmachine set /recorders/0/failCalls {}\nanswer yes\n" +
          AcknowledgeDiscs(1) + "wait end\n",
      Arguments(1));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(run.Has("row 2 \"Writing recovery disc #1 (1/1)\" \"Failed\"")) << run.Text();
  EXPECT_TRUE(
      run.Has("box 471 buttons=YesNo default=No text=\"Disc write failed.\\nTry creating "
              "recovery disc #1 again?\""));
  EXPECT_TRUE(run.Has("row 2 \"Writing recovery disc #1 (1/1)\" \"Complete\""));
  EXPECT_TRUE(run.Has("row 3 \"Close\" \"Complete\"")) << "no row of its own for the retry";
  EXPECT_EQ(run.output, Line(kComplete | kDualLayerSet | 0x100));
  EXPECT_EQ(DiscsWritten(), 1u);
}

TEST_F(WizardScenarioTest, ALocalUsbDiskIsWrittenAfterBothQuestions) {
  machine.Change([](sim::MachineDescription& d) {
    d.disks[1].mediaType = "External hard disk media";
    d.disks[1].writeBytesPerSecond = 0;
  });
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select F\ncompare on\nnext\nwait box 274\nanswer yes\n"
                                      "wait box 266\nanswer ok\nwait page write\nwait end\n",
                                  Arguments(2));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(run.Lines("box 274 buttons=YesNo default=No ").size() == 1) << run.Text();
  EXPECT_TRUE(run.Has("status \"Checking files\"")) << "the check's start reaches the page";
  EXPECT_TRUE(run.Has("row 2 \"Writing recovery disc #1\" \"Complete\""));
  EXPECT_TRUE(run.Has("row 3 \"Close\" \"Complete\""));
  EXPECT_TRUE(run.Lines("box 406 ").empty());
  EXPECT_EQ(run.output, Line(kComplete)) << "a USB drive adds only the completion";
  EXPECT_TRUE(std::filesystem::exists(machine.machine().VolumeFolder('F') / "version.doc"));
}

TEST_F(WizardScenarioTest, AnImageNamedLikeASevenZipSwitchIsWrittenToTheStickAndVerified) {
  // 7-Zip reads "-disc1.iso" as a switch unless it is named as a path.
  testing::TempFolder images;
  const std::filesystem::path image = images.path() / "-disc1.iso";
  std::filesystem::copy_file(SampleDiscs(1).front(), image);
  const WizardRun run = RunWizard(machine.folder(),
                                  std::string(kToTheDrivePage) +
                                      "select F\ncompare on\nnext\nwait box 266\nanswer ok\n"
                                      "wait page write\nwait end\n",
                                  {"Sample", "0", image.string()});
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(run.Has("row 2 \"Writing recovery disc #1\" \"Complete\"")) << run.Text();
  EXPECT_TRUE(run.Has("status \"Checking files\"")) << run.Text();
  EXPECT_EQ(run.output, Line(kComplete)) << "written, checked and compared";
  EXPECT_TRUE(std::filesystem::exists(machine.machine().VolumeFolder('F') / "version.doc"));
}

TEST_F(WizardScenarioTest, AWorkerStuckInABurnIsLeftBehindAndTheLineIsStillPrinted) {
  // A recorder that reports only every seven seconds notices the cancel long after shutdown
  // has stopped waiting for the worker.
  const std::vector<std::string> arguments = Arguments(1);
  const uint64_t size = std::filesystem::file_size(arguments[2]);
  machine.Change([size](sim::MachineDescription& d) {
    d.recorders[0].writeBytesPerSecond = size / 8 / 7;
    d.recorders[0].eventIntervalMs = 60000;
  });
  const auto started = std::chrono::steady_clock::now();
  const WizardRun run = RunWizard(
      machine.folder(),
      ToTheWritePage(false) + "wait status Writing.data\nclose\nwait box 402\nanswer yes\n",
      arguments);
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, "0\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25))
      << "the process ends without waiting for the worker";
  const sim::MachineDescription after = machine.Read();
  EXPECT_EQ(after.recorders[0].writeCount, 0u) << "the write was still running at the end";
  EXPECT_EQ(after.recorders[0].ejectCount, 0u);
}

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
  // The person running the wizard is at the console: the system holds the hive.
  machine.Change([](sim::MachineDescription& d) { d.users[0].interactive = true; });
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
