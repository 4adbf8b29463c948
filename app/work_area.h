#pragma once

#include <string>

#include "app/run_context.h"
#include "app/tool_services.h"

namespace kestrune {

/// The run's private work area, `RunContext::workArea`, for as long as the object lives: a
/// fresh folder that only the administrators and the system can open (platform/
/// private_folders.h). The carried tools are written there and run from there, and every file
/// the program writes and then reads back goes there (the diskpart scripts and their output,
/// the copied MD5 list and the lists made of it, Sabrel's error file). So nothing that the
/// user, or a program the user runs, can put in the image folder is ever run or read as the
/// program's own, and nothing can be swapped between the write and the use.
///
/// The folder is scheduled for deletion at the next restart when it is made, removed with
/// everything in it when the object goes, and scheduled again when that removal fails.
class RunWorkArea {
 public:
  RunWorkArea(ToolServices& tools, RunContext& context);
  ~RunWorkArea();
  RunWorkArea(const RunWorkArea&) = delete;
  RunWorkArea& operator=(const RunWorkArea&) = delete;

  /// False when no private folder could be made (the run then has no work area, and every
  /// step that needs one fails).
  bool ready() const { return !folder_.empty(); }

 private:
  ToolServices& tools_;
  RunContext& context_;
  std::wstring folder_;
};

}  // namespace kestrune
