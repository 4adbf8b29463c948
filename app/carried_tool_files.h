#pragma once

#include <string>
#include <vector>

#include "app/tool_services.h"

namespace kestrune {

/// Resource ids of the carried tools (defined by the port).
namespace tool_resource = platform::tool_resource;

/// Writes "7z.exe", "7z.dll", "Sabrel.exe" (the 64-bit build on 64-bit Windows, and whenever
/// the system cannot say) and "Harlune.exe" into `folder`, in that order. Failures are silent:
/// a tool that could not be written simply fails to start later. Returns the file names this
/// call wrote, so that the caller can remove exactly those again and nothing that was in the
/// folder before (a user's own "7z.exe" included).
std::vector<std::wstring> ExtractTools(ToolServices& services, const std::wstring& folder);

/// Writes one carried tool as `folder`\`fileName` unless a file or folder of that name exists
/// (an existing file is used as it is, whatever it holds), schedules it for deletion at the
/// next restart and pauses 200 ms. True when this call wrote the file; a file it creates (even
/// half-written) is remembered as the program's own.
bool ExtractToolFile(ToolServices& services, const std::wstring& folder,
                     const std::wstring& fileName, int resourceId);

/// The file names of the carried tools that this process wrote into `folder` and that are
/// still there. Only these may be deleted again: the work folder is the user's image folder,
/// and a tool file that was there before (the user's own 7z.exe) is never among them. The
/// record spans the whole process, so a step may remove what an earlier step wrote.
std::vector<std::wstring> ToolsWrittenInto(const std::wstring& folder);

/// Forgets the tools of `folder` that no longer exist, after a caller deleted them, so that a
/// file of the same name put there later is not taken for the program's own.
void ForgetDeletedTools(const std::wstring& folder);

}  // namespace kestrune
