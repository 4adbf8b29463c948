#pragma once

#include <string>

namespace kestrune::platform {

/// Files that should not outlive the next restart of the computer.
class RestartCleanup {
 public:
  virtual ~RestartCleanup() = default;

  /// Asks the system to delete `path` at the next restart (Windows: a delayed move to
  /// nothing). False when the system refuses.
  [[nodiscard]] virtual bool DeleteAtRestart(const std::wstring& path) = 0;
};

}  // namespace kestrune::platform
