#include "app/work_folder.h"

#include <filesystem>

#include "app/repair_journal.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {


constexpr int kRemovalAttempts = 20;
constexpr uint32_t kRemovalPauseMs = 50;

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

std::wstring WorkAreaPath(const RunContext& context, const std::wstring& name) {
  if (context.workArea.view().empty()) return {};
  return JoinPath(std::wstring(context.workArea.view()), name);
}

bool CleanWorkFolder(const RunContext& context, ToolServices& tools) {
  if (context.sourceCount == 0) return true;
  const std::wstring folder = ComparisonFolder(context);
  for (int attempt = 0;; ++attempt) {
    const platform::EntryKind kind = tools.files.Kind(folder);
    if (kind == platform::EntryKind::kNone || (kind == platform::EntryKind::kFolder &&
                                               tools.files.RemoveTree(folder))) {
      if (context.journal != nullptr) context.journal->FolderRemoved(folder);
      return true;
    }
    if (kind != platform::EntryKind::kFolder) return false;  // not the program's own
    if (attempt == kRemovalAttempts - 1) return false;
    tools.clock.Pause(kRemovalPauseMs);
  }
}

}  // namespace kestrune
