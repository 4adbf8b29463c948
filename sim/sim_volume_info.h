#pragma once

#include "platform/os_version.h"
#include "platform/volume_info.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// Volumes of a simulated machine. A drive letter's root is its folder below volumes/; a
/// path of the form "E:\" or a path inside a volume folder is answered from the machine
/// (capacity minus what the folder holds minus usedBytes, never below 0), any other path
/// from the real file system. Each query first applies the faults that depend on what the
/// volumes hold (a disk that vanishes, a volume that overflows).
class SimVolumeInfo : public platform::VolumeInfo {
 public:
  explicit SimVolumeInfo(Machine& machine) : machine_(machine) {}

  std::wstring DriveRoot(wchar_t letter) override;
  /// The description's systemDrive.
  wchar_t SystemDriveLetter() override;
  bool GetFreeSpace(const std::wstring& path, platform::VolumeSpace& space) override;
  /// Changes the label of the partition that holds the letter.
  bool LabelVolume(wchar_t letter, const std::wstring& label) override;
  uint32_t CreateTempFile(const std::wstring& folder, const std::wstring& prefix,
                          std::wstring& path) override;

 private:
  Machine& machine_;
};

/// The Windows version of the description's windowsVersion ("6.1" is Windows 7).
class SimOsVersion : public platform::OsVersion {
 public:
  explicit SimOsVersion(Machine& machine) : machine_(machine) {}
  bool IsWindows8OrGreater() override;

 private:
  Machine& machine_;
};

}  // namespace kestrune::sim
