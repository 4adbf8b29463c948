#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/mutex.h"
#include "platform/window_port.h"

namespace kestrune::ui::host {

/// One message taken from the loop for a window.
struct LoopMessage {
  WindowHandle window = nullptr;
  uint32_t code = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

/// One timer of a window.
struct MessageLoopTimer {
  std::chrono::milliseconds period{0};
  std::chrono::steady_clock::time_point due;
};

/// The time the UI thread's timers run on: real (steady) time, plus whatever the loop has
/// jumped ahead when everything was idle (see MessageLoop::EnableIdleJumps).
class UiClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  TimePoint Now() const { return std::chrono::steady_clock::now() + offset_; }
  void JumpTo(TimePoint when) {
    const TimePoint now = Now();
    if (when > now) offset_ += when - now;
  }

 private:
  std::chrono::steady_clock::duration offset_{0};
};

/// The UI thread's message loop: one ordered queue of posted messages for all windows (any
/// thread may post), input actions that run after every posted message has been handled,
/// and timers with the semantics of Windows: a timer's tick is generated only when nothing
/// else waits, at most one per timer, and its next period starts when the tick is taken;
/// 0 and 1 ms periods are 10 ms.
///
/// Loops nest: RunUntil may be called from inside a message handler (a modal dialog or
/// message box). A quit request ends every running loop, innermost first, and stays set.
class MessageLoop : public platform::WindowPort {
 public:
  /// Handles one message on the UI thread; the toolkit's window dispatch.
  using Dispatcher = std::function<void(const LoopMessage&)>;

  MessageLoop();
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  void SetDispatcher(Dispatcher dispatcher) { dispatcher_ = std::move(dispatcher); }
  /// Called on the UI thread each time the posted queue has run empty, before input, timers
  /// or waiting: the moment a front end looks at the screen.
  void SetIdleHook(std::function<void()> hook) { idleHook_ = std::move(hook); }
  /// Lets the clock jump to the next timer when nothing is queued and `idle` says that the
  /// rest of the program is idle too (no job running, the script waiting). Tests use it so
  /// that 30-second scans take no time.
  void EnableIdleJumps(std::function<bool()> idle) { jumpWhenIdle_ = std::move(idle); }

  /// A new window handle; handles are never reused.
  WindowHandle NewWindow();
  /// Forgets the window: later posts to it fail, its queued messages and timers are dropped.
  void RemoveWindow(WindowHandle window);

  // platform::WindowPort (any thread).
  bool Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) override;
  bool IsWindow(WindowHandle window) override;

  /// Queues an action that runs on the UI thread once no posted message waits (any thread).
  void PostInput(std::function<void()> action);
  /// Ends every running loop with `exitCode` (any thread).
  void PostQuit(int exitCode);
  std::optional<int> QuitCode() const;
  /// Forgets a quit once the outermost loop has ended on it.
  void ClearQuit();

  bool SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds);
  void KillTimer(WindowHandle window, uintptr_t id);
  bool HasTimers() const;
  /// True while posted messages or input wait.
  bool Pending() const;

  /// Runs messages until `done()` becomes true (checked after each message) or a quit is
  /// requested. True when `done()` ended it.
  bool RunUntil(const std::function<bool()>& done);
  /// RunUntil that also gives up at the real time `deadline` (for tests and watchdogs).
  bool RunUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);

  UiClock::TimePoint Now() const;

 private:
  using TimerKey = std::pair<WindowHandle, uintptr_t>;

  enum class Next { kMessage, kInput, kTimer, kQuit, kDeadline };
  /// What Wait does next after looking at the queues with the mutex held.
  enum class Step { kReturn, kIdleHook, kAskIdle, kWait };
  using Deadline = std::optional<std::chrono::steady_clock::time_point>;

  /// Waits for the next thing to do; fills `message` or `input`. The hooks run without the
  /// mutex held, as they may post.
  Next Wait(LoopMessage& message, std::function<void()>& input, Deadline deadline);
  Step Look(LoopMessage& message, std::function<void()>& input, Deadline deadline,
            bool idleReported, Next& next) KESTRUNE_REQUIRES(mutex_);
  /// The timer due first; timers_.end() when there is none.
  std::map<std::pair<WindowHandle, uintptr_t>, MessageLoopTimer>::iterator Earliest()
      KESTRUNE_REQUIRES(mutex_);

  Dispatcher dispatcher_;
  std::function<void()> idleHook_;
  std::function<bool()> jumpWhenIdle_;

  mutable platform::Mutex mutex_;
  platform::ConditionVariable changed_;
  uintptr_t nextWindow_ KESTRUNE_GUARDED_BY(mutex_) = 1;
  std::set<uintptr_t> windows_ KESTRUNE_GUARDED_BY(mutex_);
  std::deque<LoopMessage> queue_ KESTRUNE_GUARDED_BY(mutex_);
  std::deque<std::function<void()>> input_ KESTRUNE_GUARDED_BY(mutex_);
  std::map<TimerKey, MessageLoopTimer> timers_ KESTRUNE_GUARDED_BY(mutex_);
  std::optional<int> quit_ KESTRUNE_GUARDED_BY(mutex_);
  UiClock clock_ KESTRUNE_GUARDED_BY(mutex_);
};

}  // namespace kestrune::ui::host
