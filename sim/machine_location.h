#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "sim/machine.h"

namespace kestrune::sim {

/// Where the host programs find the simulated machine they share: $KESTRUNE_MACHINE when it
/// is set and not empty, otherwise kestrune/machine below the user's state folder
/// ($XDG_STATE_HOME, or ~/.local/state). Empty when neither can be determined.
std::filesystem::path HostMachineFolder();

/// Opens the host programs' machine, creating the default machine (default_machine.h) there
/// on first use, so that a new user needs no set-up. A folder that already holds a
/// description is used as it is. Call once at start-up; null with `error` set when the
/// folder cannot be made or its description cannot be read.
std::unique_ptr<Machine> OpenHostMachine(std::string& error);

}  // namespace kestrune::sim
