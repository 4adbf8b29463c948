#include "platform/host/host_volume_naming.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/native_path.h"

namespace kestrune::platform::host {
namespace fs = std::filesystem;

bool HostVolumeNaming::VolumeOf(const std::wstring& path, std::wstring& root, std::wstring& name) {
  std::error_code error;
  fs::path folder = fs::absolute(ToNativePath(path), error);
  if (error || folder.empty()) return false;
  // The path may name a file or something not made yet: start at what exists.
  struct stat info {};
  while (::stat(folder.c_str(), &info) != 0) {
    if (!folder.has_relative_path()) return false;
    folder = folder.parent_path();
  }
  const dev_t device = info.st_dev;
  while (folder.has_relative_path()) {
    const fs::path parent = folder.parent_path();
    struct stat up {};
    if (::stat(parent.c_str(), &up) != 0 || up.st_dev != device) break;
    folder = parent;
  }
  root = name = FromNativePath(folder);
  return true;
}

}  // namespace kestrune::platform::host
