#include "sim/machine_location.h"

#include <cstdlib>

#include "sim/default_machine.h"
#include "sim/sim_ports.h"

namespace kestrune::sim {

std::filesystem::path HostMachineFolder() {
  if (const char* configured = std::getenv("KESTRUNE_MACHINE"); configured && *configured) {
    return configured;
  }
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    return std::filesystem::path(state) / "kestrune" / "machine";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "state" / "kestrune" / "machine";
  }
  return {};
}

std::unique_ptr<Machine> OpenHostMachine(std::string& error) {
  const auto folder = HostMachineFolder();
  if (folder.empty()) {
    error = "no machine folder: set KESTRUNE_MACHINE or HOME";
    return nullptr;
  }
  auto machine = std::make_unique<Machine>(folder);
  if (!machine->Exists() && !CreateDefaultMachine(*machine, &error)) return nullptr;
  MachineDescription description;
  if (!machine->Read(description, &error)) return nullptr;
  return machine;
}

std::unique_ptr<SimPorts> OpenHostPorts(std::string& error) {
  const auto machine = OpenHostMachine(error);
  if (!machine) return nullptr;
  return std::make_unique<SimPorts>(machine->Folder());
}

}  // namespace kestrune::sim
