#pragma once

#include <string>
#include <vector>

#include "app/run_context.h"
#include "app/tool_services.h"

namespace kestrune {

/// Resource ids of the carried tools (defined by the port).
namespace tool_resource = platform::tool_resource;

/// Writes "7z.exe", "7z.dll", "Sabrel.exe" (the 64-bit build on 64-bit Windows, and whenever
/// the system cannot say) and "Harlune.exe" into `folder`, in that order. `folder` is the
/// run's private work area (app/work_area.h), never a folder the user can write. Failures are
/// silent: a tool that could not be written simply fails to start later. Returns the file
/// names this call wrote.
std::vector<std::wstring> ExtractTools(ToolServices& services, const std::wstring& folder);

/// Writes one carried tool as `folder`\`fileName` unless a file or folder of that name exists
/// (which in the fresh work area means an earlier step wrote it), schedules it for deletion at
/// the next restart and pauses 200 ms. True when this call wrote the file.
bool ExtractToolFile(ToolServices& services, const std::wstring& folder,
                     const std::wstring& fileName, int resourceId);

/// The full path of the carried tool `fileName` in the run's work area; empty without one.
std::wstring CarriedToolPath(const RunContext& context, const std::wstring& fileName);

}  // namespace kestrune
