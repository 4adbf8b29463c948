#include "wizard/drive_entries.h"

#include "text/ascii_case.h"

namespace kestrune {

DriveEntry RecorderEntry(const std::wstring& text) {
  return {text, text.size() > 2 ? static_cast<uint32_t>(text[2]) : 0u};
}

DriveEntry UsbDiskEntry(const CVantorEnumUSBDetail& disk, uint32_t requiredMB) {
  uint32_t flags = text::EqualsIgnoringAsciiCase(disk.mediaTypeText, L"Removable Media")
                       ? ENTRY_REMOVABLE
                       : ENTRY_LOCAL_DISK;
  std::wstring letter;
  if (disk.partitions.empty()) {
    flags |= ENTRY_UNFORMATTED;
  } else if (disk.partitions.size() == 1) {
    letter = disk.partitions[0];
  } else {
    flags |= ENTRY_MULTI_PARTITION;
    for (const std::wstring& partition : disk.partitions) {
      if (!partition.empty()) {
        letter = partition;
        break;
      }
    }
  }

  DriveEntry entry;
  if (!letter.empty()) {
    entry.text = L"( " + letter + L"\\ ) " + disk.caption + L" ";
    flags |= entry.text[2];
  } else {
    entry.text = disk.caption;
    flags |= ENTRY_NO_LETTER;
  }
  if ((SizeBytesOf(disk) >> 20) < requiredMB) flags |= ENTRY_TOO_SMALL;
  entry.key = flags;
  return entry;
}

uint32_t DriveLetterBit(wchar_t letter) {
  return letter >= L'A' && letter <= L'Z' ? 1u << (letter - L'A') : 0u;
}

}  // namespace kestrune
