#include "ui/host/window_table.h"

namespace kestrune::ui::host {
namespace {

uintptr_t IdOf(WindowHandle window) { return reinterpret_cast<uintptr_t>(window); }

}  // namespace

WindowHandle WindowTable::Create() {
  std::lock_guard lock(mutex_);
  const uintptr_t id = nextId_++;
  windows_[id];
  return reinterpret_cast<WindowHandle>(id);
}

void WindowTable::Destroy(WindowHandle window) {
  std::lock_guard lock(mutex_);
  windows_.erase(IdOf(window));
}

bool WindowTable::Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(IdOf(window));
    if (it == windows_.end()) return false;
    it->second.push_back({code, wParam, lParam});
  }
  posted_.notify_all();
  return true;
}

bool WindowTable::IsWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  return windows_.count(IdOf(window)) != 0;
}

std::optional<PostedMessage> WindowTable::Take(WindowHandle window,
                                               std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  auto ready = [&] {
    const auto it = windows_.find(IdOf(window));
    return it == windows_.end() || !it->second.empty();
  };
  posted_.wait_for(lock, timeout, ready);
  const auto it = windows_.find(IdOf(window));
  if (it == windows_.end() || it->second.empty()) return std::nullopt;
  PostedMessage message = it->second.front();
  it->second.pop_front();
  return message;
}

std::vector<PostedMessage> WindowTable::TakeAll(WindowHandle window) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(IdOf(window));
  if (it == windows_.end()) return {};
  std::vector<PostedMessage> messages(it->second.begin(), it->second.end());
  it->second.clear();
  return messages;
}

}  // namespace kestrune::ui::host
