// Whole runs of the Linux kestrixdw that lose their power (every process of the run killed
// with SIGKILL) at a chosen point, and the start after: every user's hive exactly as before
// the first run, no hive mounted, nothing of the program left in the image folder or the
// program data folder but the verification report of the run that was killed.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "sim/power_cut.h"
#include "sim/registry_hive.h"
#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using sim::MachineDescription;
using sim::RegistryHive;
using testing::RunWizard;
using testing::SampleDiscs;
using testing::WizardRun;

constexpr char kToTheDrivePage[] = "wait page start\nnext\nwait page info\nnext\nwait page drive\n";

/// Every file below `folder` with its bytes (links as their target's name).
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = fs::relative(it->path(), folder).string();
    if (it->is_symlink()) {
      files[name] = "-> " + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      files[name] = testing::ReadFile(it->path());
    } else {
      files[name + "/"] = "";
    }
  }
  return files;
}

/// One row: where the power goes, the script that leads there, and the stage, for the name.
struct PowerCutRow {
  const char* point;
  bool usb;
  const char* name;
};

class PowerCutTest : public ::testing::TestWithParam<PowerCutRow> {
 protected:
  void SetUp() override {
    // Kestrel sits at the console (the system holds the hive); Second is logged on elsewhere,
    // so the program mounts Second's hive file for the change.
    machine.Change([](MachineDescription& d) {
      sim::UserDescription user;
      user.name = "Second";
      user.sid = "S-1-5-21-1-2-3-1200";
      user.profileFolder = "Second";
      d.users.push_back(user);
    });
    RegistryHive second;
    second.AddKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers") =
        RegistryHive::Values{{"DisableAutoplay", 0u}};
    second.AddKey("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer") =
        RegistryHive::Values{{"NoDriveTypeAutoRun", RegistryHive::TypedBytes{3, {0x91, 0}}}};
    ASSERT_TRUE(second.Save(Users() / "Second" / "ntuser.dat"));

    fs::create_directories(Images());
    arguments = {"Sample", "0"};
    for (const auto& image : SampleDiscs(2)) {
      fs::copy_file(image, Images() / image.filename());
      arguments.push_back((Images() / image.filename()).string());
    }
    std::ofstream(Images() / "notes.txt") << "the user's own file";
    hivesBefore = Snapshot(Users());
    imagesBefore = Snapshot(Images());
  }

  fs::path Users() { return machine.folder() / "users"; }
  fs::path Images() { return folder.path() / "images"; }
  fs::path ProgramData() { return machine.machine().ProgramDataFolder() / "Kestrune"; }
  /// The run folders and journals in the program data folder.
  std::vector<std::string> ProgramFilesLeft() {
    std::vector<std::string> left;
    for (const auto& [name, bytes] : Snapshot(ProgramData())) {
      if (name != "journal/" && name != "journal/journal.lock") left.push_back(name);
    }
    return left;
  }

  /// Runs the wizard with `script` until the power goes at `point`.
  void RunUntilThePowerGoes(const char* point, const std::string& script) {
    const WizardRun run =
        RunWizard(machine.folder(), script + "wait end\n", arguments,
                  {{"KESTRUNE_POWER_CUT", point}});
    ASSERT_EQ(run.signal, SIGKILL) << "the power did not go: " << run.Text();
    EXPECT_EQ(run.output, "") << "a run that dies prints no state word";
  }
  /// A start of the program in any mode: here one that finds no image and ends at once.
  void StartAgain() {
    const WizardRun run = RunWizard(machine.folder(), "", {"Sample", "0", "/nowhere/disc1.iso"});
    EXPECT_EQ(run.status, 0) << run.Text();
    EXPECT_EQ(run.output, "");
  }
  void ExpectAllRepaired() {
    EXPECT_EQ(Snapshot(Users()), hivesBefore) << "every hive byte for byte as before";
    EXPECT_TRUE(machine.Read().loadedHives.empty()) << "no hive left mounted";
    EXPECT_EQ(WithoutReports(Snapshot(Images())), imagesBefore)
        << "no comparison folder, nothing added but a report";
    EXPECT_EQ(ProgramFilesLeft(), std::vector<std::string>{}) << "no run folder, no journal";
  }

  static std::map<std::string, std::string> WithoutReports(
      std::map<std::string, std::string> files) {
    std::erase_if(files, [](const auto& file) { return testing::IsReportFile(file.first); });
    return files;
  }
  /// The JSON report the start after the power cut left, empty when there is none (or more
  /// than one).
  std::string KilledRunsReport() {
    const std::vector<std::string> reports = testing::ReportFiles(Images());
    if (reports.size() != 2 || reports[0].find(".json") == std::string::npos) return {};
    return testing::ReadFile(Images() / reports[0]);
  }

  sim::testing::TemporaryMachine machine;
  testing::TempFolder folder;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> hivesBefore, imagesBefore;
};

TEST_P(PowerCutTest, TheNextStartPutsEverythingBack) {
  const PowerCutRow& row = GetParam();
  const std::string script =
      std::string(kToTheDrivePage) +
      (row.usb ? "select F\ncompare on\nnext\nwait box 266\nanswer ok\nwait page write\n"
               : "select E\ncompare on\nnext\nwait page write\n");
  RunUntilThePowerGoes(row.point, script);
  EXPECT_NE(Snapshot(Users()), hivesBefore) << "the run died with autoplay switched off";
  StartAgain();
  ExpectAllRepaired();
}

TEST_F(PowerCutTest, ARunKilledWhileADiscIsBurnedGetsItsReportAtTheNextStart) {
  RunUntilThePowerGoes(sim::power_cut::kBurn,
                       std::string(kToTheDrivePage) + "select E\nnext\nwait page write\n");
  EXPECT_EQ(testing::ReportFiles(Images()), std::vector<std::string>{}) << "none yet";
  StartAgain();
  const std::string json = KilledRunsReport();
  ASSERT_NE(json, "") << "one report pair";
  EXPECT_NE(json.find("\"stateWordAfter\": null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"interrupted\": true"), std::string::npos) << json;
  EXPECT_NE(json.find("\"label\": \"Sample\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"number\": 1, \"of\": 2"), std::string::npos) << json;
  EXPECT_EQ(json.find("\"result\": \"written\""), std::string::npos) << "the disc being burned";
  EXPECT_NE(json.find("\"unfinished\": true"), std::string::npos) << json;
  ExpectAllRepaired();

  // The report is written once: the start after that adds none.
  StartAgain();
  EXPECT_EQ(testing::ReportFiles(Images()).size(), 2u);
}

TEST_F(PowerCutTest, ARunKilledBeforeAnyMediumLeavesNoReport) {
  RunUntilThePowerGoes(sim::power_cut::kHiveMounted,
                       std::string(kToTheDrivePage) + "select E\nnext\nwait page write\n");
  StartAgain();
  EXPECT_EQ(testing::ReportFiles(Images()), std::vector<std::string>{});
  ExpectAllRepaired();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, PowerCutTest,
    ::testing::Values(PowerCutRow{sim::power_cut::kHiveMounted, false, "BetweenAHiveMountAndUnmount"},
                      PowerCutRow{sim::power_cut::kWipe, true, "JustAfterTheWipe"},
                      PowerCutRow{sim::power_cut::kUnpack, true, "WhileUnpackingOntoTheStick"},
                      PowerCutRow{sim::power_cut::kCompare, true, "DuringTheSticksComparison"},
                      PowerCutRow{sim::power_cut::kBurn, false, "WhileADiscIsBurned"},
                      PowerCutRow{sim::power_cut::kCompare, false, "DuringADiscsComparison"}),
    [](const ::testing::TestParamInfo<PowerCutRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrune
