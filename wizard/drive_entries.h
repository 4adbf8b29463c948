#pragma once

#include <cstdint>
#include <string>

#include "devices/usb_disks.h"

namespace kestrune {

/// Flag bits of a drive entry's key (the item data of a Drive page entry). The low 16 bits
/// hold the drive letter, or 0x8000 for a USB disk without one; every USB entry has
/// ENTRY_REMOVABLE or ENTRY_LOCAL_DISK, so a key with a bit in 0xff00 is a USB entry.
inline constexpr uint32_t ENTRY_REMOVABLE = 0x100;
inline constexpr uint32_t ENTRY_LOCAL_DISK = 0x200;
inline constexpr uint32_t ENTRY_TOO_SMALL = 0x1000;
inline constexpr uint32_t ENTRY_UNFORMATTED = 0x2000;
inline constexpr uint32_t ENTRY_MULTI_PARTITION = 0x4000;
inline constexpr uint32_t ENTRY_NO_LETTER = 0x8000;

inline constexpr bool IsUsbEntry(uint32_t key) { return (key & 0xff00) != 0; }

/// One entry of the Drive page's drive list.
struct DriveEntry {
  std::wstring text;
  uint32_t key = 0;
};

/// An optical recorder's entry: its list text ("( E:\ ) VENDOR PRODUCT ") keyed by the
/// text's third character, the drive letter.
DriveEntry RecorderEntry(const std::wstring& text);

/// A USB disk's entry: "( E:\ ) CAPTION " keyed by its letter, or the caption alone keyed
/// 0x8000 when no letter was found, with the flags that Next checks. A disk whose size in
/// MiB is below `requiredMB` is too small (a size that does not parse counts as 0).
DriveEntry UsbDiskEntry(const CVantorEnumUSBDetail& disk, uint32_t requiredMB);

/// The bit of drive letter `letter` in a unit mask ('A' is bit 0); 0 for anything else.
uint32_t DriveLetterBit(wchar_t letter);

}  // namespace kestrune
