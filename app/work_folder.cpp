#include "app/work_folder.h"

#include <filesystem>

#include "app/tool_runner.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// Removes the folders below `folder` and then `folder` itself, as far as they are empty.
void RemoveFolderTree(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code statusError;
    if (fs::is_directory(it->symlink_status(statusError))) RemoveFolderTree(it->path());
  }
  std::error_code statusError;
  if (fs::is_directory(fs::symlink_status(folder, statusError))) fs::remove(folder, error);
}

}  // namespace

std::wstring WorkFolder(const RunContext& context) {
  if (context.sourceCount == 0) return {};
  return platform::FromNativePath(
      platform::ToNativePath(context.sources[0].path.view()).parent_path());
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  return platform::FromNativePath(platform::ToNativePath(folder) / platform::ToNativePath(name));
}

std::wstring ComparisonFolder(const RunContext& context) {
  return JoinPath(WorkFolder(context), L"tempCompareFiles");
}

void CleanWorkFolder(const RunContext& context, platform::ProcessLauncher& processes) {
  if (context.sourceCount == 0) return;
  const std::wstring folder = ComparisonFolder(context);
  const fs::path native = platform::ToNativePath(folder);
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(native, error))) return;

  // What the interpreter leaves, the removal below deletes; its outcome is the one that counts.
  static_cast<void>(RunTool(processes, nullptr, L"cmd.exe", L"/C del /F /Q /S *.*", folder, nullptr,
                            nullptr, false));
  RemoveFolderTree(native);
}

}  // namespace kestrune
