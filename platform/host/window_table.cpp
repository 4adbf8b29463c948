#include "platform/host/window_table.h"

namespace kestrune::platform::host {
namespace {

uintptr_t IdOf(WindowHandle window) { return reinterpret_cast<uintptr_t>(window); }

}  // namespace

WindowHandle WindowTable::Create() {
  platform::MutexLock lock(mutex_);
  const uintptr_t id = nextId_++;
  windows_[id];
  return reinterpret_cast<WindowHandle>(id);
}

void WindowTable::Destroy(WindowHandle window) {
  {
    platform::MutexLock lock(mutex_);
    windows_.erase(IdOf(window));
  }
  posted_.NotifyAll();  // a Take waiting on it returns at once
}

bool WindowTable::Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  {
    platform::MutexLock lock(mutex_);
    const auto it = windows_.find(IdOf(window));
    if (it == windows_.end()) return false;
    it->second.push_back({code, wParam, lParam});
  }
  posted_.NotifyAll();
  return true;
}

bool WindowTable::IsWindow(WindowHandle window) {
  platform::MutexLock lock(mutex_);
  return windows_.count(IdOf(window)) != 0;
}

std::optional<PostedMessage> WindowTable::Take(WindowHandle window,
                                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  platform::MutexLock lock(mutex_);
  bool timedOut = false;
  for (;;) {
    // Looked up afresh after every wait: the window may have been destroyed meanwhile.
    const auto it = windows_.find(IdOf(window));
    if (it == windows_.end()) return std::nullopt;
    if (!it->second.empty()) {
      PostedMessage message = it->second.front();
      it->second.pop_front();
      return message;
    }
    if (timedOut) return std::nullopt;
    timedOut = !posted_.WaitUntil(lock, deadline);
  }
}

std::vector<PostedMessage> WindowTable::TakeAll(WindowHandle window) {
  platform::MutexLock lock(mutex_);
  const auto it = windows_.find(IdOf(window));
  if (it == windows_.end()) return {};
  std::vector<PostedMessage> messages(it->second.begin(), it->second.end());
  it->second.clear();
  return messages;
}

}  // namespace kestrune::platform::host
