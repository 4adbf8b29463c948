#pragma once

#include <optional>
#include <string>

#include "sim/machine.h"

namespace kestrune::sim {

/// Changes of the machine that a person makes with their hands, and that the recorder and
/// the partitioning tool make; each is one locked read-modify-write of the description.

/// Empties the folder of a volume, keeping the folder itself.
void ClearFolder(const std::filesystem::path& folder);

/// Puts `disc` into the recorder with drive letter `letter`, replacing a disc that is there.
/// A disc with an image shows that image's files under the drive letter (unpacked with
/// 7-Zip), as a disc that holds data does. False when there is no such recorder.
bool InsertDisc(Machine& machine, char letter, const DiscDescription& disc,
                std::string* error = nullptr);

/// Takes the disc out of the recorder; the recorder then feeds a blank disc of its
/// feedBlankMediaType if it has one. The drive's volume shows nothing afterwards.
bool EjectDisc(Machine& machine, char letter, std::string* error = nullptr);

/// Unplugs (present = false) or plugs in a disk by number. An unplugged disk has no volumes.
bool SetDiskPresent(Machine& machine, uint32_t diskNumber, bool present,
                    std::string* error = nullptr);

/// The folder side of disks plugged in or pulled by a change of the description that set their
/// `present` directly (a fault's field changes, `kestrune-machine set`): a pulled disk's volumes
/// are put aside as SetDiskPresent does, then a plugged one's are usable, empty folders again,
/// so another disk may take a pulled one's letter in the same change. Disks are matched by
/// their place in the list.
void FollowDiskPresence(const Machine& machine, const MachineDescription& before,
                        const MachineDescription& after);

/// Applies the faults that depend on what the volumes hold: a disk whose volumes hold more
/// than its vanishAfterBytes goes away, and a volume that holds more than its capacity
/// becomes full (it stops accepting files until it is formatted again). Run at every
/// free-space query and by the stand-ins, which is where a real machine would notice.
void ApplyVolumeFaults(Machine& machine);

/// Marks the volume with drive letter `letter` full: it takes no more files until it is
/// formatted again.
void MarkVolumeFull(Machine& machine, char letter);

/// The drive letter a path names: "E:", "E:\..." or a path inside volumes/E; 0 for others.
char VolumeLetterOfPath(const Machine& machine, const std::wstring& path);

/// The volume folder and capacity of drive letter `letter`: a lettered partition of a
/// present disk, or a recorder (capacity of its disc, 0 without one).
/// The quota folder (MachineDescription::folderQuotas) that holds `path`, if any.
const FolderQuota* FolderQuotaOf(const MachineDescription& machine, const std::filesystem::path& path);

struct VolumeFacts {
  bool exists = false;
  bool isRecorder = false;
  bool hasMedium = false;  // a recorder with a disc, or a partition that is usable
  uint64_t capacityBytes = 0;
  uint64_t extraUsedBytes = 0;
  std::string fileSystem, label;
};
VolumeFacts FindVolume(const MachineDescription& machine, char letter);

}  // namespace kestrune::sim
