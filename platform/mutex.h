#pragma once

// A mutex, its scoped lock and a condition variable that clang's thread-safety analysis
// understands (-Wthread-safety; libstdc++'s std::mutex carries no annotations). Fields that
// a mutex guards are declared KESTRUNE_GUARDED_BY(mutex_), and the compiler then rejects
// every access made without holding it. Other compilers see plain std::mutex code.
//
//   platform::Mutex mutex_;
//   std::deque<Job> queue_ KESTRUNE_GUARDED_BY(mutex_);
//
//   platform::MutexLock lock(mutex_);
//   while (queue_.empty()) changed_.Wait(lock);

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define KESTRUNE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KESTRUNE_THREAD_ANNOTATION(x)
#endif

#define KESTRUNE_CAPABILITY(name) KESTRUNE_THREAD_ANNOTATION(capability(name))
#define KESTRUNE_SCOPED_CAPABILITY KESTRUNE_THREAD_ANNOTATION(scoped_lockable)
/// The field may be read or written only with `mutex` held.
#define KESTRUNE_GUARDED_BY(mutex) KESTRUNE_THREAD_ANNOTATION(guarded_by(mutex))
/// What the pointer points to may be used only with `mutex` held.
#define KESTRUNE_PT_GUARDED_BY(mutex) KESTRUNE_THREAD_ANNOTATION(pt_guarded_by(mutex))
/// The function must be called with these mutexes held.
#define KESTRUNE_REQUIRES(...) KESTRUNE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
/// The function must be called without these mutexes held (it takes them itself).
#define KESTRUNE_EXCLUDES(...) KESTRUNE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define KESTRUNE_ACQUIRE(...) KESTRUNE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define KESTRUNE_RELEASE(...) KESTRUNE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace kestrune::platform {

class ConditionVariable;
class MutexLock;

/// std::mutex, declared as a capability for the analysis. Lock it through `MutexLock`.
class KESTRUNE_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() KESTRUNE_ACQUIRE() { mutex_.lock(); }
  void Unlock() KESTRUNE_RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

/// Holds a mutex from construction to the end of the scope.
class KESTRUNE_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) KESTRUNE_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() KESTRUNE_RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  friend class ConditionVariable;
  std::unique_lock<std::mutex> lock_;
};

/// A condition variable over `MutexLock`. A wait lets go of the mutex while it blocks and
/// holds it again when it returns, so to the analysis (and to the code after it) the mutex
/// is held throughout. Waits can wake without a notification: callers test their condition
/// in a loop, with the guarded fields in plain sight of the analysis.
class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void NotifyOne() noexcept { condition_.notify_one(); }
  void NotifyAll() noexcept { condition_.notify_all(); }

  void Wait(MutexLock& lock) { condition_.wait(lock.lock_); }

  /// Waits for a notification until `deadline`; false once the deadline has passed.
  [[nodiscard]] bool WaitUntil(MutexLock& lock, std::chrono::steady_clock::time_point deadline) {
    return condition_.wait_until(lock.lock_, deadline) == std::cv_status::no_timeout;
  }

 private:
  std::condition_variable condition_;
};

}  // namespace kestrune::platform
