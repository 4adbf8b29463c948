#pragma once

namespace kestrune::platform {

/// The version of the operating system the program runs on.
class OsVersion {
 public:
  virtual ~OsVersion() = default;

  /// VerifyVersionInfoW for major 6, minor 2, service-pack major 0, each "greater or equal":
  /// true on Windows 8 and later.
  [[nodiscard]] virtual bool IsWindows8OrGreater() = 0;
};

}  // namespace kestrune::platform
