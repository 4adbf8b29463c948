#include "app/work_folder.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/tool_runner.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr int kRemovalAttempts = 20;
constexpr std::chrono::milliseconds kRemovalPause(50);

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
  // The interpreter ran in the folder, and what it started (a console host) may hold the folder
  // a moment after it ended: a folder left behind would fail the next comparison, so the
  // removal is tried again for a while.
  for (int attempt = 0;; ++attempt) {
    RemoveFolderTree(native);
    if (!fs::exists(fs::symlink_status(native, error)) || attempt == kRemovalAttempts - 1) break;
    std::this_thread::sleep_for(kRemovalPause);
  }
}

}  // namespace kestrune
