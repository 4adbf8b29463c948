#pragma once

#include <string>

namespace kestrune::platform {

/// The console tools the program carries inside itself (Windows: resources of type "FILE").
/// Resource ids: 133 "7z.exe", 134 "7z.dll", 137 32-bit "Sabrel.exe", 138 64-bit "Sabrel.exe",
/// 139 "Harlune.exe".
class CarriedTools {
 public:
  virtual ~CarriedTools() = default;

  /// Writes the carried tool `resourceId` to `targetPath`, creating or replacing the file.
  /// False when the tool is not carried or the file cannot be written. Whether a file of
  /// that name may be replaced is the caller's decision, not this port's.
  virtual bool WriteTool(int resourceId, const std::wstring& targetPath) = 0;
};

}  // namespace kestrune::platform
