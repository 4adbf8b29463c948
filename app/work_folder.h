#pragma once

#include <string>

#include "app/run_context.h"
#include "platform/auto_reset_event.h"
#include "platform/process_launcher.h"

namespace kestrune {

/// The folder of the first source file: the carried tools are written there and every child
/// runs there. Empty when there is no source.
std::wstring WorkFolder(const RunContext& context);

/// The comparison folder "tempCompareFiles" inside the work folder.
std::wstring ComparisonFolder(const RunContext& context);

/// `folder` joined with `name` in the platform's path syntax.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

/// Removes the comparison folder: every file below it through "cmd.exe /C del /F /Q /S *.*"
/// run in that folder, then every sub-folder that is empty afterwards, then the folder itself
/// if it is empty, trying again for up to a second while it is still there (a process that
/// ran in it may hold it a moment longer). Without a comparison folder nothing runs. Links are
/// never followed.
void CleanWorkFolder(const RunContext& context, platform::ProcessLauncher& processes);

}  // namespace kestrune
