#pragma once

// Volumes by drive letter, and the version of Windows.

#include "platform/win32/windows_support.h"

// winbase.h keeps a 16-bit Windows macro of this name, which would swallow the port's method.
#undef GetFreeSpace

#include "platform/os_version.h"
#include "platform/volume_info.h"

namespace kestrune::platform::win32 {

class Win32VolumeInfo : public VolumeInfo {
 public:
  /// "E:\" for 'E' (and for 'e').
  std::wstring DriveRoot(wchar_t letter) override;
  /// The drive of GetSystemWindowsDirectoryW.
  wchar_t SystemDriveLetter() override;
  bool GetFreeSpace(const std::wstring& path, VolumeSpace& space) override;
  bool LabelVolume(wchar_t letter, const std::wstring& label) override;
  uint32_t CreateTempFile(const std::wstring& folder, const std::wstring& prefix,
                          std::wstring& path) override;
};

class Win32OsVersion : public OsVersion {
 public:
  bool IsWindows8OrGreater() override;
};

}  // namespace kestrune::platform::win32
