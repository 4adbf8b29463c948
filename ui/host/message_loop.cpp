#include "ui/host/message_loop.h"

#include <algorithm>

#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

uintptr_t IdOf(WindowHandle window) { return reinterpret_cast<uintptr_t>(window); }

/// Windows never runs a timer faster than this (USER_TIMER_MINIMUM).
constexpr std::chrono::milliseconds kMinimumPeriod(10);
/// How often a loop that may jump its clock looks again whether everything is idle.
constexpr std::chrono::milliseconds kIdleRecheck(5);

}  // namespace

MessageLoop::MessageLoop() = default;
MessageLoop::~MessageLoop() = default;

WindowHandle MessageLoop::NewWindow() {
  std::lock_guard lock(mutex_);
  const uintptr_t id = nextWindow_++;
  windows_.insert(id);
  return reinterpret_cast<WindowHandle>(id);
}

void MessageLoop::RemoveWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  windows_.erase(IdOf(window));
  std::erase_if(queue_, [window](const LoopMessage& m) { return m.window == window; });
  std::erase_if(timers_, [window](const auto& timer) { return timer.first.first == window; });
}

bool MessageLoop::Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard lock(mutex_);
    if (windows_.count(IdOf(window)) == 0) return false;
    queue_.push_back({window, code, wParam, lParam});
  }
  changed_.notify_all();
  return true;
}

bool MessageLoop::IsWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  return windows_.count(IdOf(window)) != 0;
}

void MessageLoop::PostInput(std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    input_.push_back(std::move(action));
  }
  changed_.notify_all();
}

void MessageLoop::PostQuit(int exitCode) {
  {
    std::lock_guard lock(mutex_);
    if (!quit_) quit_ = exitCode;
  }
  changed_.notify_all();
}

std::optional<int> MessageLoop::QuitCode() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

void MessageLoop::ClearQuit() {
  std::lock_guard lock(mutex_);
  quit_.reset();
}

bool MessageLoop::SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  if (windows_.count(IdOf(window)) == 0) return false;
  const auto period = std::max(std::chrono::milliseconds(milliseconds), kMinimumPeriod);
  timers_[{window, id}] = Timer{period, clock_.Now() + period};
  changed_.notify_all();
  return true;
}

void MessageLoop::KillTimer(WindowHandle window, uintptr_t id) {
  std::lock_guard lock(mutex_);
  timers_.erase({window, id});
}

bool MessageLoop::HasTimers() const {
  std::lock_guard lock(mutex_);
  return !timers_.empty();
}

bool MessageLoop::Pending() const {
  std::lock_guard lock(mutex_);
  return !queue_.empty() || !input_.empty();
}

UiClock::TimePoint MessageLoop::Now() const {
  std::lock_guard lock(mutex_);
  return clock_.Now();
}

MessageLoop::Next MessageLoop::Wait(LoopMessage& message, std::function<void()>& input,
                                    std::optional<std::chrono::steady_clock::time_point> deadline) {
  bool idleReported = false;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quit_) return Next::kQuit;
    if (deadline && std::chrono::steady_clock::now() >= *deadline) return Next::kDeadline;
    while (!queue_.empty()) {
      message = queue_.front();
      queue_.pop_front();
      if (windows_.count(IdOf(message.window)) != 0) return Next::kMessage;
    }
    if (!idleReported && idleHook_) {
      idleReported = true;
      lock.unlock();
      idleHook_();
      lock.lock();
      continue;
    }
    if (!input_.empty()) {
      input = std::move(input_.front());
      input_.pop_front();
      return Next::kInput;
    }
    auto earliest =
        std::min_element(timers_.begin(), timers_.end(),
                         [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    const auto now = clock_.Now();
    if (earliest != timers_.end() && earliest->second.due <= now) {
      message = {earliest->first.first, wm::kTimer, earliest->first.second, 0};
      earliest->second.due = now + earliest->second.period;
      return Next::kTimer;
    }
    if (earliest != timers_.end() && jumpWhenIdle_) {
      lock.unlock();
      const bool idle = jumpWhenIdle_();
      lock.lock();
      if (idle && queue_.empty() && input_.empty() && !quit_ && !timers_.empty()) {
        earliest = std::min_element(
            timers_.begin(), timers_.end(),
            [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
        clock_.JumpTo(earliest->second.due);
        continue;
      }
      changed_.wait_for(lock, kIdleRecheck);
      continue;
    }
    auto wake = std::chrono::steady_clock::time_point::max();
    if (earliest != timers_.end())
      wake = std::chrono::steady_clock::now() + (earliest->second.due - now);
    if (deadline) wake = std::min(wake, *deadline);
    if (wake == std::chrono::steady_clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, wake);
    }
  }
}

bool MessageLoop::RunUntil(const std::function<bool()>& done) {
  return RunUntil(done, std::chrono::steady_clock::time_point::max());
}

bool MessageLoop::RunUntil(const std::function<bool()>& done,
                           std::chrono::steady_clock::time_point deadline) {
  const bool limited = deadline != std::chrono::steady_clock::time_point::max();
  for (;;) {
    if (done()) return true;
    LoopMessage message;
    std::function<void()> input;
    switch (Wait(message, input, limited ? std::optional(deadline) : std::nullopt)) {
      case Next::kQuit:
      case Next::kDeadline:
        return false;
      case Next::kMessage:
      case Next::kTimer:
        if (dispatcher_) dispatcher_(message);
        break;
      case Next::kInput:
        input();
        break;
    }
  }
}

}  // namespace kestrune::ui::host
