#include "app/carried_tool_files.h"

#include <filesystem>
#include <set>
#include <utility>

#include "app/run_context.h"
#include "platform/mutex.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

constexpr const wchar_t* kToolNames[] = {L"7z.exe", L"7z.dll", L"Sabrel.exe", L"Harlune.exe"};

// Full paths of the tool files this process created. Steps on the worker and the Seven-Zip
// mode on the UI thread may both write tools, hence the lock.
struct WrittenTools {
  platform::Mutex mutex;
  std::set<std::wstring> paths KESTRUNE_GUARDED_BY(mutex);
};

WrittenTools& Written() {
  static WrittenTools written;
  return written;
}

std::wstring ToolPath(const std::wstring& folder, const std::wstring& fileName) {
  return platform::FromNativePath(platform::ToNativePath(folder) /
                                  platform::ToNativePath(fileName));
}

bool Exists(const std::wstring& path) {
  std::error_code error;
  return std::filesystem::exists(
      std::filesystem::symlink_status(platform::ToNativePath(path), error));
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
  const std::wstring target = ToolPath(folder, fileName);
  if (target.size() >= kPathCapacity) return false;  // does not fit a path buffer
  if (Exists(target)) return false;

  // A tool that was not written fails to start later, and one that is not deleted at
  // restart is merely left behind; the caller learns which tools this call wrote.
  const bool written = services.carriedTools.WriteTool(resourceId, target);
  // Even a write that failed half-way has left a file of the program's own.
  if (Exists(target)) {
    WrittenTools& record = Written();
    platform::MutexLock lock(record.mutex);
    record.paths.insert(target);
  }
  static_cast<void>(services.restartCleanup.DeleteAtRestart(target));
  services.clock.Pause(200);
  return written;
}

std::vector<std::wstring> ToolsWrittenInto(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WrittenTools& written = Written();
  platform::MutexLock lock(written.mutex);
  for (const wchar_t* name : kToolNames) {
    const std::wstring path = ToolPath(folder, name);
    if (written.paths.count(path) != 0 && Exists(path)) names.emplace_back(name);
  }
  return names;
}

void ForgetDeletedTools(const std::wstring& folder) {
  WrittenTools& written = Written();
  platform::MutexLock lock(written.mutex);
  for (const wchar_t* name : kToolNames) {
    const std::wstring path = ToolPath(folder, name);
    if (!Exists(path)) written.paths.erase(path);
  }
}

}  // namespace kestrune
