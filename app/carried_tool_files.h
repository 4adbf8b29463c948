#pragma once

#include <string>

#include "app/tool_services.h"

namespace kestrune {

/// Resource ids of the carried tools (defined by the port).
namespace tool_resource = platform::tool_resource;

/// Writes "7z.exe", "7z.dll", "Sabrel.exe" (the 64-bit build on 64-bit Windows, and whenever
/// the system cannot say) and "Harlune.exe" into `folder`, in that order. Failures are silent:
/// a tool that could not be written simply fails to start later.
void ExtractTools(ToolServices& services, const std::wstring& folder);

/// Writes one carried tool as `folder`\`fileName` unless a file or folder of that name exists
/// (an existing file is used as it is, whatever it holds), schedules it for deletion at the
/// next restart and pauses 200 ms.
void ExtractToolFile(ToolServices& services, const std::wstring& folder,
                     const std::wstring& fileName, int resourceId);

}  // namespace kestrune
