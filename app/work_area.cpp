#include "app/work_area.h"

#include "app/repair_journal.h"

namespace kestrune {

RunWorkArea::RunWorkArea(ToolServices& tools, RunContext& context)
    : tools_(tools), context_(context) {
  context_.workArea.Clear();
  std::wstring folder = tools_.privateFolders.CreateRunFolder();
  if (folder.empty()) return;
  if (!context_.workArea.Assign(folder)) {
    // A path that does not fit the run context is of no use: nothing has been put there yet.
    static_cast<void>(tools_.files.RemoveTree(folder));
    return;
  }
  folder_ = std::move(folder);
  if (context_.journal != nullptr) context_.journal->FolderMade(folder_);
  // Its outcome is not read: the folder is removed at the end of the run anyway.
  static_cast<void>(tools_.restartCleanup.DeleteAtRestart(folder_));
}

RunWorkArea::~RunWorkArea() {
  if (folder_.empty()) return;
  context_.workArea.Clear();
  // Scheduled again after the files the steps scheduled, so the folder's turn comes last.
  if (!tools_.files.RemoveTree(folder_)) {
    static_cast<void>(tools_.restartCleanup.DeleteAtRestart(folder_));
  } else if (context_.journal != nullptr) {
    context_.journal->FolderRemoved(folder_);
  }
}

}  // namespace kestrune
