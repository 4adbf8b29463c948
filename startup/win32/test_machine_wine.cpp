// The win64 test build's side of test_machine.h: the simulated machine in the folder that
// KESTRUNE_MACHINE names (a Windows path), when it names one.
#include "platform/win32/windows_support.h"

#include <dbt.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "sim/machine.h"
#include "sim/machine_actions.h"
#include "sim/sim_device_tree.h"
#include "startup/win32/test_machine.h"

namespace kestrune::startup {
namespace {

// The machine of the test, or null. Lives as long as the process: the wizard keeps the ports
// until it ends.
sim::Machine* TestMachine() {
  static const std::unique_ptr<sim::Machine> machine = []() -> std::unique_ptr<sim::Machine> {
    const wchar_t* folder = _wgetenv(L"KESTRUNE_MACHINE");
    if (folder == nullptr || *folder == L'\0') return nullptr;
    return std::make_unique<sim::Machine>(std::filesystem::path(folder));
  }();
  return machine.get();
}

// The drive letters of the machine's present disks, as bits (A = bit 0).
DWORD DiskLetters(const sim::Machine& machine) {
  sim::MachineDescription description;
  if (!machine.Read(description)) return 0;
  DWORD letters = 0;
  for (const auto& disk : description.disks) {
    if (!disk.present) continue;
    for (const auto& partition : disk.partitions) {
      if (const char letter = sim::DriveLetter(partition.letter)) letters |= 1u << (letter - 'A');
    }
  }
  return letters;
}

struct Broadcast {
  WPARAM event;
  DEV_BROADCAST_VOLUME volume;
};

BOOL CALLBACK SendToOwnWindow(HWND window, LPARAM context) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  auto* broadcast = reinterpret_cast<Broadcast*>(context);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_DEVICECHANGE, broadcast->event,
                      reinterpret_cast<LPARAM>(&broadcast->volume), SMTO_BLOCK, 5000, &ignored);
  return TRUE;
}

// What Windows tells the top-level windows when volumes come or go; wine knows nothing of
// the machine's disks, so the test says it in its place.
void AnnounceVolumes(DWORD before, DWORD after) {
  for (const auto& [letters, event] : {std::pair{before & ~after, WPARAM{DBT_DEVICEREMOVECOMPLETE}},
                                       std::pair{after & ~before, WPARAM{DBT_DEVICEARRIVAL}}}) {
    if (letters == 0) continue;
    Broadcast broadcast{event, {}};
    broadcast.volume.dbcv_size = sizeof(broadcast.volume);
    broadcast.volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    broadcast.volume.dbcv_unitmask = letters;
    EnumWindows(SendToOwnWindow, reinterpret_cast<LPARAM>(&broadcast));
  }
}

int RunMachineCommand(sim::Machine& machine, const std::vector<std::string>& arguments) {
  std::string error;
  if (arguments.size() == 2 && (arguments[0] == "unplug" || arguments[0] == "plug")) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(arguments[1].c_str(), &end, 10);
    if (end == arguments[1].c_str() || *end != '\0') return 2;
    return sim::SetDiskPresent(machine, static_cast<uint32_t>(number), arguments[0] == "plug",
                               &error)
               ? 0
               : 1;
  }
  if (arguments.size() == 3 && arguments[0] == "set") {
    std::string fieldError;
    sim::MachineDescription from, to;
    const bool saved = machine.Modify([&](sim::MachineDescription& description) {
      from = description;
      if (!sim::SetDescriptionField(description, arguments[1], arguments[2], fieldError)) {
        return false;
      }
      to = description;
      return true;
    });
    if (!saved || !fieldError.empty()) return 1;
    sim::FollowDiskPresence(machine, from, to);
    sim::CreateMachineFolders(machine, to);
    return 0;
  }
  return 2;
}

}  // namespace

platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system) {
  sim::Machine* machine = TestMachine();
  if (machine == nullptr) return system;
  static sim::SimDeviceTree tree(*machine);
  return tree;
}

std::function<int(const std::vector<std::string>&)> MachineToolForScripts() {
  sim::Machine* machine = TestMachine();
  if (machine == nullptr) return {};
  return [machine](const std::vector<std::string>& arguments) {
    const DWORD before = DiskLetters(*machine);
    const int code = RunMachineCommand(*machine, arguments);
    AnnounceVolumes(before, DiskLetters(*machine));
    return code;
  };
}

}  // namespace kestrune::startup
