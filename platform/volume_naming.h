#pragma once

#include <string>

namespace kestrune::platform {

/// Which volume holds a folder, as the user knows it.
class VolumeNaming {
 public:
  virtual ~VolumeNaming() = default;

  /// The root of the volume that holds `path` (a folder to query for free space) and its
  /// name for messages: on Windows "X:\" and "X:" from the path's drive letter; on Linux the
  /// mount point of the file system that holds the path, both times. False when the path
  /// names no volume.
  virtual bool VolumeOf(const std::wstring& path, std::wstring& root, std::wstring& name) = 0;
};

}  // namespace kestrune::platform
