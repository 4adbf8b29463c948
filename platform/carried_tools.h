#pragma once

#include <string>

namespace kestrune::platform {

/// Resource ids of the carried tools, the one place they are defined: the Windows build
/// reads them from this file for the program's resources.
namespace tool_resource {
inline constexpr int kSevenZipExe = 133;  ///< "7z.exe"
inline constexpr int kSevenZipDll = 134;  ///< "7z.dll"
inline constexpr int kSabrel32 = 137;     ///< the 32-bit "Sabrel.exe"
inline constexpr int kSabrel64 = 138;     ///< the 64-bit "Sabrel.exe"
inline constexpr int kHarlune = 139;      ///< "Harlune.exe"
}  // namespace tool_resource

/// The console tools the program carries inside itself (Windows: resources of type "FILE"),
/// named by the ids above.
class CarriedTools {
 public:
  virtual ~CarriedTools() = default;

  /// Writes the carried tool `resourceId` to `targetPath`, creating or replacing the file.
  /// False when the tool is not carried or the file cannot be written. Whether a file of
  /// that name may be replaced is the caller's decision, not this port's.
  [[nodiscard]] virtual bool WriteTool(int resourceId, const std::wstring& targetPath) = 0;
};

}  // namespace kestrune::platform
