#pragma once

#include <string>

#include "app/run_context.h"
#include "app/tool_services.h"

namespace kestrune {

/// The folder of the first source file: the carried tools are written there and every child
/// runs there. Empty when there is no source.
std::wstring WorkFolder(const RunContext& context);

/// The comparison folder "tempCompareFiles" inside the work folder.
std::wstring ComparisonFolder(const RunContext& context);

/// `folder` joined with `name` in the platform's path syntax.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

/// `name` in the run's private work area (RunContext::workArea); empty when there is none.
std::wstring WorkAreaPath(const RunContext& context, const std::wstring& name);

/// Removes the comparison folder with everything below it when it is a real folder, never
/// following a link inside it. A link (symbolic link, junction) or a file of that name is left
/// untouched, and so is whatever it points to. A folder still held by a process that has just
/// ended (as wine's console host holds one a moment) is tried again for up to a second. True
/// when no comparison folder is left, also when there was none.
bool CleanWorkFolder(const RunContext& context, ToolServices& tools);

}  // namespace kestrune
