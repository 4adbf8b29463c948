#include "app/carried_tool_files.h"

#include <filesystem>
#include <utility>

#include "app/run_context.h"
#include "platform/native_path.h"

namespace kestrune {

std::vector<std::wstring> ExtractTools(ToolServices& services, const std::wstring& folder) {
  const bool on64BitWindows = services.systemInfo.IsWow64Process().value_or(true);
  const std::pair<const wchar_t*, int> tools[] = {
      {L"7z.exe", tool_resource::kSevenZipExe},
      {L"7z.dll", tool_resource::kSevenZipDll},
      {L"Sabrel.exe", on64BitWindows ? tool_resource::kSabrel64 : tool_resource::kSabrel32},
      {L"Harlune.exe", tool_resource::kHarlune},
  };
  std::vector<std::wstring> written;
  for (const auto& [fileName, resourceId] : tools) {
    if (ExtractToolFile(services, folder, fileName, resourceId)) written.emplace_back(fileName);
  }
  return written;
}

bool ExtractToolFile(ToolServices& services, const std::wstring& folder,
                     const std::wstring& fileName, int resourceId) {
  const auto native = platform::ToNativePath(folder) / platform::ToNativePath(fileName);
  const std::wstring target = platform::FromNativePath(native);
  if (target.size() >= kPathCapacity) return false;  // does not fit a path buffer

  std::error_code error;
  const auto status = std::filesystem::symlink_status(native, error);
  if (std::filesystem::exists(status)) return false;

  // A tool that was not written fails to start later, and one that is not deleted at
  // restart is merely left behind; the caller learns which tools this call wrote.
  const bool written = services.carriedTools.WriteTool(resourceId, target);
  static_cast<void>(services.restartCleanup.DeleteAtRestart(target));
  services.clock.Pause(200);
  return written;
}

}  // namespace kestrune
