#pragma once

#include <optional>

namespace kestrune::platform {

/// Questions about the running system.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  /// Whether this 32-bit process runs under the 64-bit emulation layer of 64-bit Windows
  /// (WOW64). Empty when the system cannot answer.
  [[nodiscard]] virtual std::optional<bool> IsWow64Process() = 0;
};

}  // namespace kestrune::platform
