#pragma once

// Paths handed to the file system in the form that has no 260-character limit.

#include "platform/win32/windows_support.h"

#include <string>

namespace kestrune::platform::win32 {

/// `path` made absolute (GetFullPathNameW: "/" read as "\", "." and ".." resolved) in its
/// extended-length form: C:\x as \\?\C:\x, \\server\share\x as \\?\UNC\server\share\x. A path
/// already in that form, or a device path (\\.\...), is returned as it is; so is `path` when
/// the system cannot make it absolute, which then fails where it is used.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace kestrune::platform::win32
