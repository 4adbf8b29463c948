#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_context.h"
#include "platform/device_tree.h"
#include "platform/disk_inventory.h"

namespace kestrune {

/// One USB disk that may receive the recovery set, as the inventory describes it.
class CVantorEnumUSBDetail {
 public:
  std::wstring caption;        ///< Win32_DiskDrive.Caption, as returned
  std::wstring size;           ///< Win32_DiskDrive.Size: bytes as decimal text
  std::wstring mediaTypeText;  ///< Win32_DiskDrive.MediaType, as returned
  /// One entry per counted partition in association order: its letter with colon ("E:"), or
  /// empty for a counted partition without a letter.
  std::vector<std::wstring> partitions;
  std::wstring pnpDeviceId;  ///< Win32_DiskDrive.PNPDeviceID: the device itself
  std::wstring deviceId;     ///< Win32_DiskDrive.DeviceID: \\.\PHYSICALDRIVE<number>
};

/// The number of a disk's DeviceID ("\\.\PHYSICALDRIVE3" is 3); nothing for any other text.
std::optional<uint32_t> DiskNumberOf(std::wstring_view deviceId);

/// The disk's size in bytes; 0 when its Size does not read as a decimal number.
uint64_t SizeBytesOf(const CVantorEnumUSBDetail& disk);

/// `disk` as the USB writer must find it again (RunContext::usbTarget). False, with `target`
/// empty, when the record names no device or no disk number to pin.
bool PinUsbTarget(const CVantorEnumUSBDetail& disk, UsbTarget& target);

/// Appends one record per qualifying USB disk to `list`: removable disks first, then external
/// ones, each group in inventory order. Never reports an error: a failing query or property
/// read only leaves out the disk or partition concerned. A disk whose device list cannot be
/// read, or whose partition types cannot be queried, is left out too: nothing shows it to be
/// safe to wipe. The disk query concerns every disk: when it fails, even after some rows,
/// nothing is appended, never a list that may lack a disk. So is nothing when any query runs
/// out of time; no query is made after that one, so an inventory that does not answer holds
/// the caller (the Drive page's window) for one query timeout (platform::kQueryTimeoutMs), not
/// one per query.
///
/// A disk qualifies when its InterfaceType is "USB", its MediaType "Removable media" or
/// "External hard disk media" (both without regard to case), and the parent of its device node
/// does not carry the container id of devices built into the computer. Letterless partitions
/// count unless their type is "GPT: System", "GPT: Unknown" or "Unknown".
void EnumUSBDisks(platform::DiskInventory& inventory, platform::DeviceTree& devices,
                  std::vector<CVantorEnumUSBDetail>& list);

/// What the inventory says right now about disk `number` (\\.\PHYSICALDRIVE<number>), judged
/// by the rules of EnumUSBDisks but without their leniency: the writer asks this just before
/// it wipes a disk, and any doubt must stop it. A disk query that fails, even after listing
/// the disk, leaves `listed` and `complete` false; any partition query that fails or runs out
/// of time leaves `complete` false.
struct UsbDiskInspection {
  bool listed = false;     ///< the disk query answered and lists the disk
  bool qualifies = false;  ///< USB, accepted media type, found in the device tree with a
                           ///< readable container id that is not the built-in one
  bool complete = false;   ///< every query and read about its partitions answered
  std::wstring pnpDeviceId;
  uint64_t sizeBytes = 0;  ///< 0 when Size does not read as a decimal number
  /// The partitions EnumUSBDisks would count (letterless ones of a data type included).
  uint32_t partitionCount = 0;
  /// The drive letter ('A' to 'Z') of every partition of the disk that has one.
  std::vector<wchar_t> letters;
};
UsbDiskInspection InspectUsbDisk(platform::DiskInventory& inventory, platform::DeviceTree& devices,
                                 uint32_t number);

}  // namespace kestrune
