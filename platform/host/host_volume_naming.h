#pragma once

#include "platform/volume_naming.h"

namespace kestrune::platform::host {

/// The mount point of the file system that holds a path: the nearest existing folder of the
/// path is walked up until the device changes.
class HostVolumeNaming : public VolumeNaming {
 public:
  bool VolumeOf(const std::wstring& path, std::wstring& root, std::wstring& name) override;
};

}  // namespace kestrune::platform::host
