#pragma once

#include <cstdint>
#include <filesystem>

namespace kestrune::sim {

/// The lock on a machine's "machine.lock" that every reader (shared) and writer (exclusive)
/// of its description takes, held for the object's lifetime. Processes of both builds that
/// share one machine folder lock the same file: flock on Linux, LockFileEx on Windows.
class MachineLock {
 public:
  MachineLock(const std::filesystem::path& folder, bool exclusive);
  ~MachineLock();
  MachineLock(const MachineLock&) = delete;
  MachineLock& operator=(const MachineLock&) = delete;

  bool Held() const { return held_; }

 private:
  bool held_ = false;
  intptr_t handle_ = -1;  // a descriptor on Linux, a HANDLE on Windows
};

/// This process's id, for the names of files written aside.
uint32_t CurrentProcessId();

}  // namespace kestrune::sim
