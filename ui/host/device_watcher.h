#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "platform/mutex.h"

namespace kestrune::ui::host {

/// What the device watcher compares: the volumes by drive letter, the media in drives, and
/// a token for the set of devices.
struct DeviceSnapshot {
  struct Volume {
    /// Changes whenever a different medium is in the drive ("" for none); only drives with
    /// removable media (recorders) have one.
    std::optional<std::string> medium;
  };
  std::map<char, Volume> volumes;  ///< 'A' to 'Z'
  std::string devices;             ///< changes when a device comes or goes
};

/// Posts the system's device notifications from differences between snapshots, as Windows
/// does: a new or vanished volume (a disk plugged in, a partition made or removed) without
/// the media flag, a medium that came or went with it, and "device nodes changed" when the
/// devices change. Each notification names one drive letter.
class DeviceWatcher {
 public:
  using Snapshot = std::function<bool(DeviceSnapshot&)>;
  /// Receives (event, unit mask, flags) with the wm::kDbt... codes.
  using Notify = std::function<void(uint32_t event, uint32_t unitMask, uint16_t flags)>;

  DeviceWatcher(Snapshot snapshot, Notify notify);
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  /// Looks every `interval` on a thread of its own until destroyed.
  void Start(std::chrono::milliseconds interval);
  /// Looks once now (any thread) and notifies what changed since the last look.
  void PollNow();

 private:
  void Compare(const DeviceSnapshot& before, const DeviceSnapshot& after);

  Snapshot snapshot_;
  Notify notify_;
  /// One look at a time, from the watcher's thread or a caller's.
  platform::Mutex pollMutex_;
  std::optional<DeviceSnapshot> last_ KESTRUNE_GUARDED_BY(pollMutex_);

  platform::Mutex mutex_;
  platform::ConditionVariable stop_;
  bool stopping_ KESTRUNE_GUARDED_BY(mutex_) = false;
  std::thread thread_;
};

}  // namespace kestrune::ui::host
