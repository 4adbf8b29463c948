#include "app/carried_tool_files.h"

#include <filesystem>

#include "app/run_context.h"
#include "platform/native_path.h"

namespace kestrune {

void ExtractTools(ToolServices& services, const std::wstring& folder) {
  const bool on64BitWindows = services.systemInfo.IsWow64Process().value_or(true);
  ExtractToolFile(services, folder, L"7z.exe", tool_resource::kSevenZipExe);
  ExtractToolFile(services, folder, L"7z.dll", tool_resource::kSevenZipDll);
  ExtractToolFile(services, folder, L"Sabrel.exe",
                  on64BitWindows ? tool_resource::kSabrel64 : tool_resource::kSabrel32);
  ExtractToolFile(services, folder, L"Harlune.exe", tool_resource::kHarlune);
}

void ExtractToolFile(ToolServices& services, const std::wstring& folder,
                     const std::wstring& fileName, int resourceId) {
  const auto native = platform::ToNativePath(folder) / platform::ToNativePath(fileName);
  const std::wstring target = platform::FromNativePath(native);
  if (target.size() >= kPathCapacity) return;  // does not fit a path buffer

  std::error_code error;
  const auto status = std::filesystem::symlink_status(native, error);
  if (std::filesystem::exists(status)) return;

  // Failures are silent by design: a tool that was not written fails to start later, and
  // one that is not deleted at restart is merely left behind.
  static_cast<void>(services.carriedTools.WriteTool(resourceId, target));
  static_cast<void>(services.restartCleanup.DeleteAtRestart(target));
  services.clock.Pause(200);
}

}  // namespace kestrune
