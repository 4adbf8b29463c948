#pragma once

#include <string>
#include <vector>

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
};

/// Appends one record per qualifying USB disk to `list`: removable disks first, then external
/// ones, each group in inventory order. Never reports an error: a failing query or property
/// read only leaves out the disk or partition concerned.
void EnumUSBDisks(platform::DiskInventory& inventory, platform::DeviceTree& devices,
                  std::vector<CVantorEnumUSBDetail>& list);

}  // namespace kestrune
