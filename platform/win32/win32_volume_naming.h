#pragma once

#include "platform/volume_naming.h"

namespace kestrune::platform::win32 {

/// The volume of a path by its drive letter: "X:\" and "X:" for "X:\..." (either case of the
/// letter); no volume for UNC paths and paths without a drive.
class Win32VolumeNaming : public VolumeNaming {
 public:
  bool VolumeOf(const std::wstring& path, std::wstring& root, std::wstring& name) override;
};

}  // namespace kestrune::platform::win32
