#pragma once

#include <map>
#include <optional>
#include <string>

#include "sim/machine_description.h"

namespace kestrune::sim {

/// What a device-change watcher compares on a simulated machine.
struct VolumeState {
  /// Drive letter -> the medium in it: a token that changes with every disc put in, taken
  /// out or written ("" for an empty drive), or nothing for a volume without removable media
  /// (a lettered partition of a present disk).
  std::map<char, std::optional<std::string>> volumes;
  /// Changes when a disk is plugged in or unplugged, or a recorder comes or goes.
  std::string devices;
};

/// The volumes, media and devices of `machine` as the system would report them.
VolumeState ReadVolumeState(const MachineDescription& machine);

}  // namespace kestrune::sim
