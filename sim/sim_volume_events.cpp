#include "sim/sim_volume_events.h"

#include "sim/machine.h"

namespace kestrune::sim {

VolumeState ReadVolumeState(const MachineDescription& machine) {
  VolumeState state;
  for (const RecorderDescription& recorder : machine.recorders) {
    const char letter = DriveLetter(recorder.letter);
    if (letter == 0) continue;
    std::string medium;
    if (recorder.disc) {
      const DiscDescription& disc = *recorder.disc;
      // A new token for every eject (the recorder may feed an identical blank disc) and for
      // every change of what the disc holds.
      medium = std::to_string(recorder.ejectCount) + "/" + std::to_string(disc.mediaType) + "/" +
               disc.state + "/" + disc.image + (disc.damaged ? "/damaged" : "");
    }
    state.volumes[letter] = medium;
    state.devices += "R" + std::string(1, letter) + ";";
  }
  for (const DiskDescription& disk : machine.disks) {
    if (!disk.present) continue;
    state.devices += "D" + std::to_string(disk.number) + ";";
    for (const PartitionDescription& partition : disk.partitions) {
      const char letter = DriveLetter(partition.letter);
      if (letter != 0 && state.volumes.count(letter) == 0) state.volumes[letter] = std::nullopt;
    }
  }
  return state;
}

}  // namespace kestrune::sim
