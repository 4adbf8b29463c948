#pragma once

#include <filesystem>

#include "platform/carried_tools.h"

namespace kestrune::platform::host {

/// On Linux the carried tools are files in a tools folder beside the program (installed by
/// the build): "7z.exe" is Debian's 7-Zip console program `7zz`, "Sabrel.exe" and
/// "Harlune.exe" are this project's own Linux builds. Both Sabrel resource ids carry the one
/// Linux build. "7z.dll" has no Linux counterpart and is not carried.
class HostCarriedTools : public CarriedTools {
 public:
  explicit HostCarriedTools(std::filesystem::path toolsFolder);

  bool WriteTool(int resourceId, const std::wstring& targetPath) override;

  /// The file name a resource id is carried under, or nullptr for an unknown id.
  static const char* CarriedFileName(int resourceId);

 private:
  std::filesystem::path toolsFolder_;
};

}  // namespace kestrune::platform::host
