#include "ui/host/device_watcher.h"

#include "wizard/window_messages.h"

namespace kestrune::ui::host {

DeviceWatcher::DeviceWatcher(Snapshot snapshot, Notify notify)
    : snapshot_(std::move(snapshot)), notify_(std::move(notify)) {}

DeviceWatcher::~DeviceWatcher() {
  {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
  }
  stop_.NotifyAll();
  if (thread_.joinable()) thread_.join();
}

void DeviceWatcher::Start(std::chrono::milliseconds interval) {
  PollNow();
  thread_ = std::thread([this, interval] {
    for (;;) {
      {
        platform::MutexLock lock(mutex_);
        const auto next = std::chrono::steady_clock::now() + interval;
        while (!stopping_ && stop_.WaitUntil(lock, next)) {
        }
        if (stopping_) return;
      }
      PollNow();
    }
  });
}

void DeviceWatcher::PollNow() {
  platform::MutexLock lock(pollMutex_);
  DeviceSnapshot now;
  if (!snapshot_(now)) return;
  if (last_) Compare(*last_, now);
  last_ = std::move(now);
}

void DeviceWatcher::Compare(const DeviceSnapshot& before, const DeviceSnapshot& after) {
  auto bit = [](char letter) { return 1u << (letter - 'A'); };
  if (before.devices != after.devices) notify_(wm::kDbtDevNodesChanged, 0, 0);
  for (const auto& [letter, volume] : before.volumes) {
    const auto it = after.volumes.find(letter);
    if (it == after.volumes.end()) {
      if (volume.medium && !volume.medium->empty()) {
        notify_(wm::kDbtDeviceRemoveComplete, bit(letter), wm::kDbtfMedia);
      }
      notify_(wm::kDbtDeviceRemoveComplete, bit(letter), 0);
      continue;
    }
    const std::string was = volume.medium.value_or("");
    const std::string is = it->second.medium.value_or("");
    if (was == is) continue;
    if (!was.empty()) notify_(wm::kDbtDeviceRemoveComplete, bit(letter), wm::kDbtfMedia);
    if (!is.empty()) notify_(wm::kDbtDeviceArrival, bit(letter), wm::kDbtfMedia);
  }
  for (const auto& [letter, volume] : after.volumes) {
    if (before.volumes.count(letter) != 0) continue;
    notify_(wm::kDbtDeviceArrival, bit(letter), 0);
    if (volume.medium && !volume.medium->empty()) {
      notify_(wm::kDbtDeviceArrival, bit(letter), wm::kDbtfMedia);
    }
  }
}

}  // namespace kestrune::ui::host
