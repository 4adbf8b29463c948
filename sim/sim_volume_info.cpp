#include "sim/sim_volume_info.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/native_path.h"
#include "sim/machine_actions.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::wstring SimVolumeInfo::DriveRoot(wchar_t letter) {
  const char upper = DriveLetter(std::string(1, static_cast<char>(letter)));
  return platform::FromNativePath(machine_.VolumeFolder(upper ? upper : '?')) + L"/";
}

wchar_t SimVolumeInfo::SystemDriveLetter() {
  MachineDescription machine;
  if (!machine_.Read(machine)) return 0;
  return static_cast<wchar_t>(DriveLetter(machine.systemDrive));
}

bool SimVolumeInfo::GetFreeSpace(const std::wstring& path, platform::VolumeSpace& space) {
  const char letter = VolumeLetterOfPath(machine_, path);
  if (!letter) {
    MachineDescription machine;
    if (machine_.Read(machine)) {
      if (const FolderQuota* quota = FolderQuotaOf(machine, platform::ToNativePath(path))) {
        const uint64_t held = FolderBytes(quota->folder);
        space.totalBytes = quota->capacityBytes;
        space.freeBytesToCaller = space.totalFreeBytes =
            held < quota->capacityBytes ? quota->capacityBytes - held : 0;
        return true;
      }
    }
    struct statvfs info {};
    if (::statvfs(platform::ToNativePath(path).c_str(), &info) != 0) return false;
    space.freeBytesToCaller = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    space.totalBytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
    space.totalFreeBytes = static_cast<uint64_t>(info.f_bfree) * info.f_frsize;
    return true;
  }
  ApplyVolumeFaults(machine_);
  MachineDescription machine;
  if (!machine_.Read(machine)) return false;
  const VolumeFacts volume = FindVolume(machine, letter);
  if (!volume.exists || !volume.hasMedium) return false;
  if (volume.isRecorder) {
    // A written disc is full: its size is what it holds.
    space.totalBytes = FolderBytes(machine_.VolumeFolder(letter));
    space.freeBytesToCaller = space.totalFreeBytes = 0;
    return true;
  }
  const uint64_t used = FolderBytes(machine_.VolumeFolder(letter)) + volume.extraUsedBytes;
  space.totalBytes = volume.capacityBytes;
  space.freeBytesToCaller = space.totalFreeBytes =
      used < volume.capacityBytes ? volume.capacityBytes - used : 0;
  return true;
}

bool SimVolumeInfo::LabelVolume(wchar_t letter, const std::wstring& label) {
  const char wanted = DriveLetter(std::string(1, static_cast<char>(letter)));
  bool found = false;
  const bool saved = machine_.Modify([&](MachineDescription& machine) {
    for (auto& disk : machine.disks) {
      if (!disk.present) continue;
      for (auto& partition : disk.partitions) {
        if (DriveLetter(partition.letter) != wanted || partition.fileSystem.empty()) continue;
        partition.label = text::Utf8FromWide(label);
        found = true;
      }
    }
    return found;
  });
  return saved && found;
}

uint32_t SimVolumeInfo::CreateTempFile(const std::wstring& folder, const std::wstring& prefix,
                                       std::wstring& path) {
  const fs::path native = platform::ToNativePath(folder);
  std::error_code error;
  if (!fs::is_directory(native, error)) return 267;  // ERROR_DIRECTORY, as GetTempFileNameW
  static std::atomic<uint32_t> counter{static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid())};
  const std::string start = text::Utf8FromWide(prefix.substr(0, 3));
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const uint32_t unique = (counter++ & 0xFFFF) | 1;  // 0 is not a unique number
    char name[32];
    std::snprintf(name, sizeof name, "%X.tmp", unique);
    const fs::path file = native / (start + name);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      path = platform::FromNativePath(file);
      return 0;
    }
    if (errno != EEXIST) return errno == EACCES ? 5 : 82;  // ERROR_CANNOT_MAKE
  }
  return 80;  // ERROR_FILE_EXISTS
}

bool SimOsVersion::IsWindows8OrGreater() {
  MachineDescription machine;
  if (!machine_.Read(machine)) return true;
  unsigned major = 0, minor = 0;
  if (std::sscanf(machine.windowsVersion.c_str(), "%u.%u", &major, &minor) < 1) return true;
  return major > 6 || (major == 6 && minor >= 2);
}

}  // namespace kestrune::sim
