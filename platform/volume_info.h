#pragma once

#include <cstdint>
#include <string>

namespace kestrune::platform {

/// Sizes of a volume as GetDiskFreeSpaceExW gives them.
struct VolumeSpace {
  uint64_t freeBytesToCaller = 0;
  uint64_t totalBytes = 0;
  uint64_t totalFreeBytes = 0;
};

/// Volumes by drive letter and the files the program makes on them.
class VolumeInfo {
 public:
  virtual ~VolumeInfo() = default;

  /// The root of the volume with drive letter `letter` ('A' to 'Z') in the form this platform
  /// opens files with, ending with a separator: "E:\" on Windows, the volume's folder on the
  /// simulated machine. Child programs are given this text as the drive.
  [[nodiscard]] virtual std::wstring DriveRoot(wchar_t letter) = 0;

  /// The drive letter ('A' to 'Z') of the volume the running system lives on (Windows: the
  /// drive of the Windows folder, GetSystemWindowsDirectoryW). 0 when it cannot be told.
  virtual wchar_t SystemDriveLetter() = 0;

  /// GetDiskFreeSpaceExW for the volume that holds `path` ("E:\", a drive root from
  /// `DriveRoot`, or any folder). False when the volume cannot answer (no disc in a drive, a
  /// letter nobody has, a disk that went away).
  [[nodiscard]] virtual bool GetFreeSpace(const std::wstring& path, VolumeSpace& space) = 0;

  /// GetTempFileNameW with unique number 0: creates an empty file named from the first three
  /// characters of `prefix`, a hexadecimal number and ".tmp" in `folder`, and returns its
  /// path. 0 on success, otherwise the system error code (267, ERROR_DIRECTORY, when the
  /// folder does not exist).
  [[nodiscard]] virtual uint32_t CreateTempFile(const std::wstring& folder,
                                                const std::wstring& prefix, std::wstring& path) = 0;

  /// SetVolumeLabelW on the root of the volume with drive letter `letter`: gives the volume
  /// the label `label`. False when the volume cannot take it.
  [[nodiscard]] virtual bool LabelVolume(wchar_t letter, const std::wstring& label) = 0;
};

}  // namespace kestrune::platform
