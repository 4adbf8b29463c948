#include "app/carried_tool_files.h"

#include <utility>

#include "platform/native_path.h"

namespace kestrune {
namespace {

std::wstring ToolPath(const std::wstring& folder, const std::wstring& fileName) {
  return platform::FromNativePath(platform::ToNativePath(folder) /
                                  platform::ToNativePath(fileName));
}

}  // namespace

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
  if (folder.empty()) return false;
  const std::wstring target = ToolPath(folder, fileName);
  if (target.size() >= kPathCapacity) return false;  // does not fit a path buffer
  if (services.files.Kind(target) != platform::EntryKind::kNone) return false;

  // A tool that was not written fails to start later, and one that is not deleted at
  // restart is merely left behind; the caller learns which tools this call wrote.
  const bool written = services.carriedTools.WriteTool(resourceId, target);
  static_cast<void>(services.restartCleanup.DeleteAtRestart(target));
  services.clock.Pause(200);
  return written;
}

std::wstring CarriedToolPath(const RunContext& context, const std::wstring& fileName) {
  if (context.workArea.view().empty()) return {};
  return ToolPath(std::wstring(context.workArea.view()), fileName);
}

}  // namespace kestrune
