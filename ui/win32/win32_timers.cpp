#include "platform/win32/windows_support.h"

#include "ui/win32/win32_toolkit.h"

// The controllers' timers, and the jumps of a clock that may jump (scripted runs).

namespace kestrune::ui::win32 {
namespace {

using Clock = std::chrono::steady_clock;

/// How often a clock that may jump looks whether everything waits.
constexpr UINT kJumpLookMilliseconds = 20;

HWND AsHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

}  // namespace

bool Win32Toolkit::SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) {
  if (::SetTimer(AsHwnd(window), id, milliseconds, nullptr) == 0) return false;
  timers_[{AsHwnd(window), id}] = {milliseconds,
                                   Clock::now() + std::chrono::milliseconds(milliseconds)};
  return true;
}

uint64_t Win32Toolkit::NowMilliseconds() { return GetTickCount64(); }

void Win32Toolkit::KillTimer(WindowHandle window, uintptr_t id) {
  ::KillTimer(AsHwnd(window), id);
  timers_.erase({AsHwnd(window), id});
}

void Win32Toolkit::NoteTimerFired(HWND window, uintptr_t id) {
  const auto it = timers_.find({window, id});
  if (it == timers_.end()) return;
  it->second.due = Clock::now() + std::chrono::milliseconds(it->second.milliseconds);
}

void Win32Toolkit::EnableIdleJumps(std::function<bool()> idle) {
  jumpWhenIdle_ = std::move(idle);
  if (idleWindow_ != nullptr) ::SetTimer(idleWindow_, kJumpTimer, kJumpLookMilliseconds, nullptr);
}

void Win32Toolkit::JumpToNextTimer() {
  if (!jumpWhenIdle_ || Busy() || !jumpWhenIdle_()) return;
  // Timers of windows that are gone die with them.
  std::erase_if(timers_, [](const auto& timer) { return ::IsWindow(timer.first.first) == FALSE; });
  const auto next =
      std::min_element(timers_.begin(), timers_.end(),
                       [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
  if (next == timers_.end() || next->second.due <= Clock::now()) return;
  const auto [window, id] = next->first;
  // Started again, so that the system's count runs from this firing as it would have.
  ::SetTimer(window, id, next->second.milliseconds, nullptr);
  NoteTimerFired(window, id);
  SendMessageW(window, WM_TIMER, id, 0);
}

}  // namespace kestrune::ui::win32
