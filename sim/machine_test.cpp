#include "sim/machine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "sim/default_machine.h"
#include "sim/machine_location.h"
#include "sim/sim_restart_cleanup.h"
#include "sim/sim_test_support.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

TEST(MachineDescriptionTest, ShortHandWrittenFilesGetDefaults) {
  MachineDescription machine;
  std::string error;
  ASSERT_TRUE(ParseMachineDescription(R"({
      "recorders": [ { "letter": "G", "disc": { "mediaType": 9 },
                       "failCalls": { "GetCurrentMediaStatus": "0x80004005" } } ],
      "faults": { "inventorySecurity": "0x80010119" } })",
                                      machine, error))
      << error;
  ASSERT_EQ(machine.recorders.size(), 1u);
  const auto& recorder = machine.recorders[0];
  EXPECT_FALSE(recorder.uniqueId.empty());
  EXPECT_EQ(recorder.disc->state, "blank");
  EXPECT_EQ(recorder.failCalls.at("GetCurrentMediaStatus"), 0x80004005u);
  EXPECT_EQ(machine.faults.inventorySecurity, 0x80010119u);

  MachineDescription again;
  ASSERT_TRUE(ParseMachineDescription(FormatMachineDescription(machine), again, error)) << error;
  EXPECT_EQ(FormatMachineDescription(again), FormatMachineDescription(machine));

  EXPECT_FALSE(ParseMachineDescription("{ not json", machine, error));
  EXPECT_FALSE(ParseMachineDescription(R"({"recorders":[{"letter":"EF"}]})", machine, error));
  EXPECT_FALSE(
      ParseMachineDescription(R"({"recorders":[{"disc":{"state":"half"}}]})", machine, error));
  EXPECT_FALSE(error.empty());
}

TEST(MachineDescriptionTest, FieldsBySetAndGet) {
  MachineDescription machine = DefaultMachineDescription();
  std::string error, value;
  ASSERT_TRUE(SetDescriptionField(machine, "/faults/diskpartFailCommand", "clean", error));
  EXPECT_EQ(machine.faults.diskpartFailCommand, "clean") << "a bare word is a string";
  ASSERT_TRUE(GetDescriptionField(machine, "/disks/1/number", value, error));
  EXPECT_EQ(value, "1");
  const std::string before = FormatMachineDescription(machine);
  EXPECT_FALSE(SetDescriptionField(machine, "/faults/diskpartFailComand", "x", error))
      << "a misspelt field is not silently added";
  EXPECT_FALSE(SetDescriptionField(machine, "/recorders/0/letter", "EF", error));
  EXPECT_EQ(FormatMachineDescription(machine), before) << "a refused change changes nothing";
}

TEST(MachineToolTest, SetChangesTheHostMachineFromTheCommandLine) {
  testing::TemporaryMachine temp;
  ::setenv("KESTRUNE_MACHINE", temp.folder().c_str(), 1);
  const std::string tool = std::string(KESTRUNE_BIN_DIR) + "/kestrune-machine";
  EXPECT_EQ(std::system((tool + " set /users/0/interactive true").c_str()), 0);
  EXPECT_EQ(std::system((tool + " set /disks/2/present false 2>/dev/null").c_str()), 256);
  ::unsetenv("KESTRUNE_MACHINE");
  EXPECT_TRUE(temp.Read().users.at(0).interactive);
}

// Separate processes changing the machine at once lose no change: each read-modify-write
// holds the lock.
TEST(MachineTest, ConcurrentProcessesSeeOneMachine) {
  testing::TemporaryMachine temp;
  constexpr int kProcesses = 4, kChanges = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      Machine machine(temp.folder());
      for (int i = 0; i < kChanges; ++i) {
        if (!machine.Modify([](MachineDescription& d) {
              ++d.discsWritten;
              return true;
            }))
          ::_exit(1);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(temp.Read().discsWritten, static_cast<uint32_t>(kProcesses * kChanges));
}

TEST(SimRestartCleanupTest, RecordsEveryRequestInOrderAndRefusesWithoutAMachine) {
  testing::TemporaryMachine temp;
  SimRestartCleanup cleanup(temp.machine());
  EXPECT_TRUE(cleanup.DeleteAtRestart(L"/set/Sabrel.exe"));
  EXPECT_TRUE(cleanup.DeleteAtRestart(L"/set/R\u00e9cup\u00e9ration/7z.exe"));
  EXPECT_TRUE(cleanup.DeleteAtRestart(L"/set/Sabrel.exe"));
  EXPECT_EQ(temp.Read().pendingRestartDeletes, (std::vector<std::string>{"/set/Sabrel.exe",
                                                                         "/set/R\xC3\xA9"
                                                                         "cup\xC3\xA9"
                                                                         "ration/7z.exe",
                                                                         "/set/Sabrel.exe"}));

  Machine absent(temp.folder() / "absent");
  SimRestartCleanup refused(absent);
  EXPECT_FALSE(refused.DeleteAtRestart(L"/set/Harlune.exe"));
}

TEST(MachineLocationTest, NewUserGetsTheDefaultMachineOnce) {
  const kestrune::testing::TempFolder temporaryHome;
  const fs::path home = temporaryHome.path();
  ::unsetenv("KESTRUNE_MACHINE");
  ::setenv("XDG_STATE_HOME", home.c_str(), 1);
  EXPECT_EQ(HostMachineFolder(), home / "kestrune" / "machine");
  std::string error;
  auto machine = OpenHostMachine(error);
  ASSERT_NE(machine, nullptr) << error;
  MachineDescription description;
  ASSERT_TRUE(machine->Read(description));
  ASSERT_EQ(description.recorders.size(), 1u);
  EXPECT_EQ(description.recorders[0].letter, "E");
  EXPECT_EQ(description.recorders[0].disc->mediaType, 11u);
  EXPECT_EQ(description.disks.at(1).partitions.at(0).fileSystem, "FAT32");
  EXPECT_TRUE(fs::is_directory(machine->VolumeFolder('F')));
  EXPECT_TRUE(fs::is_regular_file(machine->Folder() / "users" / "Kestrel" / "ntuser.dat"));

  machine->Modify([](MachineDescription& d) {
    d.computerName = "CHANGED";
    return true;
  });
  ASSERT_NE(OpenHostMachine(error), nullptr);
  ASSERT_TRUE(machine->Read(description));
  EXPECT_EQ(description.computerName, "CHANGED") << "an existing machine is kept";

  ::setenv("KESTRUNE_MACHINE", (home / "elsewhere").c_str(), 1);
  EXPECT_EQ(HostMachineFolder(), home / "elsewhere");
  ::unsetenv("KESTRUNE_MACHINE");
  ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace kestrune::sim
