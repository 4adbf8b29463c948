#pragma once

#include <optional>
#include <string>

namespace kestrune::platform {

/// Questions about the running system.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  /// Whether this 32-bit process runs under the 64-bit emulation layer of 64-bit Windows
  /// (WOW64). Empty when the system cannot answer.
  [[nodiscard]] virtual std::optional<bool> IsWow64Process() = 0;
  /// The absolute folder of the system's own programs (Windows: the system folder that holds
  /// cmd.exe, chcp.com and diskpart.exe as this process sees it); empty when unknown. The
  /// program names these programs by their full path there and never searches for them.
  [[nodiscard]] virtual std::wstring SystemFolder() = 0;
};

}  // namespace kestrune::platform
