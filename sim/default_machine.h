#pragma once

#include <string>

#include "sim/machine.h"

namespace kestrune::sim {

/// The machine a new user gets: one DVD recorder at E: with a blank DVD-R DL that feeds a
/// fresh blank disc after each eject, one 32 GB removable USB stick at F: with one FAT32
/// partition, one internal disk with C:, and one logged-on user whose hive has the autoplay
/// keys. Tests start from it and change what they need.
MachineDescription DefaultMachineDescription();

/// Writes a hive for `user` with the two autoplay keys (DisableAutoplay absent,
/// NoDriveTypeAutoRun 0x91, the Windows default) unless the hive file exists.
bool WriteDefaultHive(const Machine& machine, const UserDescription& user);

/// Creates the default machine in `machine`'s folder unless it holds a description already.
bool CreateDefaultMachine(Machine& machine, std::string* error = nullptr);

}  // namespace kestrune::sim
