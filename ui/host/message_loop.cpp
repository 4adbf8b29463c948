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
  platform::MutexLock lock(mutex_);
  const uintptr_t id = nextWindow_++;
  windows_.insert(id);
  return reinterpret_cast<WindowHandle>(id);
}

void MessageLoop::RemoveWindow(WindowHandle window) {
  platform::MutexLock lock(mutex_);
  windows_.erase(IdOf(window));
  std::erase_if(queue_, [window](const LoopMessage& m) { return m.window == window; });
  std::erase_if(timers_, [window](const auto& timer) { return timer.first.first == window; });
}

bool MessageLoop::Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  {
    platform::MutexLock lock(mutex_);
    if (windows_.count(IdOf(window)) == 0) return false;
    queue_.push_back({window, code, wParam, lParam});
  }
  changed_.NotifyAll();
  return true;
}

bool MessageLoop::IsWindow(WindowHandle window) {
  platform::MutexLock lock(mutex_);
  return windows_.count(IdOf(window)) != 0;
}

void MessageLoop::PostInput(std::function<void()> action) {
  {
    platform::MutexLock lock(mutex_);
    input_.push_back(std::move(action));
  }
  changed_.NotifyAll();
}

void MessageLoop::PostQuit(int exitCode) {
  {
    platform::MutexLock lock(mutex_);
    if (!quit_) quit_ = exitCode;
  }
  changed_.NotifyAll();
}

std::optional<int> MessageLoop::QuitCode() const {
  platform::MutexLock lock(mutex_);
  return quit_;
}

void MessageLoop::ClearQuit() {
  platform::MutexLock lock(mutex_);
  quit_.reset();
}

bool MessageLoop::SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) {
  platform::MutexLock lock(mutex_);
  if (windows_.count(IdOf(window)) == 0) return false;
  const auto period = std::max(std::chrono::milliseconds(milliseconds), kMinimumPeriod);
  timers_[{window, id}] = MessageLoopTimer{period, clock_.Now() + period};
  changed_.NotifyAll();
  return true;
}

void MessageLoop::KillTimer(WindowHandle window, uintptr_t id) {
  platform::MutexLock lock(mutex_);
  timers_.erase({window, id});
}

bool MessageLoop::HasTimers() const {
  platform::MutexLock lock(mutex_);
  return !timers_.empty();
}

bool MessageLoop::Pending() const {
  platform::MutexLock lock(mutex_);
  return !queue_.empty() || !input_.empty();
}

UiClock::TimePoint MessageLoop::Now() const {
  platform::MutexLock lock(mutex_);
  return clock_.Now();
}

std::map<std::pair<WindowHandle, uintptr_t>, MessageLoopTimer>::iterator MessageLoop::Earliest() {
  return std::min_element(timers_.begin(), timers_.end(),
                          [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
}

MessageLoop::Step MessageLoop::Look(LoopMessage& message, std::function<void()>& input,
                                    Deadline deadline, bool idleReported, Next& next) {
  if (quit_) {
    next = Next::kQuit;
    return Step::kReturn;
  }
  if (deadline && std::chrono::steady_clock::now() >= *deadline) {
    next = Next::kDeadline;
    return Step::kReturn;
  }
  while (!queue_.empty()) {
    message = queue_.front();
    queue_.pop_front();
    if (windows_.count(IdOf(message.window)) != 0) {
      next = Next::kMessage;
      return Step::kReturn;
    }
  }
  if (!idleReported && idleHook_) return Step::kIdleHook;
  if (!input_.empty()) {
    input = std::move(input_.front());
    input_.pop_front();
    next = Next::kInput;
    return Step::kReturn;
  }
  const auto earliest = Earliest();
  if (earliest == timers_.end()) return Step::kWait;
  const auto now = clock_.Now();
  if (earliest->second.due <= now) {
    message = {earliest->first.first, wm::kTimer, earliest->first.second, 0};
    earliest->second.due = now + earliest->second.period;
    next = Next::kTimer;
    return Step::kReturn;
  }
  return jumpWhenIdle_ ? Step::kAskIdle : Step::kWait;
}

MessageLoop::Next MessageLoop::Wait(LoopMessage& message, std::function<void()>& input,
                                    Deadline deadline) {
  bool idleReported = false;
  for (;;) {
    Next next = Next::kQuit;
    Step step;
    {
      platform::MutexLock lock(mutex_);
      step = Look(message, input, deadline, idleReported, next);
      if (step == Step::kReturn) return next;
      if (step == Step::kWait) {
        // Until a post, the next timer or the deadline.
        auto wake = std::chrono::steady_clock::time_point::max();
        const auto earliest = Earliest();
        if (earliest != timers_.end()) {
          wake = std::chrono::steady_clock::now() + (earliest->second.due - clock_.Now());
        }
        if (deadline) wake = std::min(wake, *deadline);
        if (wake == std::chrono::steady_clock::time_point::max()) {
          changed_.Wait(lock);
        } else {
          static_cast<void>(changed_.WaitUntil(lock, wake));
        }
        continue;
      }
    }
    if (step == Step::kIdleHook) {
      idleReported = true;
      idleHook_();
      continue;
    }
    // kAskIdle: the clock may jump when the rest of the program is idle too.
    const bool idle = jumpWhenIdle_();
    platform::MutexLock lock(mutex_);
    if (idle && queue_.empty() && input_.empty() && !quit_ && !timers_.empty()) {
      clock_.JumpTo(Earliest()->second.due);
      continue;
    }
    static_cast<void>(changed_.WaitUntil(lock, std::chrono::steady_clock::now() + kIdleRecheck));
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
