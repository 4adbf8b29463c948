#pragma once

#include <string>

namespace kestrune::platform::win32 {

/// Whether `path` names a place without help from a current folder: a drive path ("C:\..."),
/// a UNC path ("\\server\share\...") or one already in the extended-length form ("\\?\...").
/// "C:name", "\name" and bare names depend on the current drive or folder and are not.
[[nodiscard]] bool IsAbsolutePath(const std::wstring& path);

/// The extended-length form of an absolute path, which the file APIs take up to 32767
/// characters long: "C:\a" as "\\?\C:\a", "\\server\share\a" as "\\?\UNC\server\share\a",
/// after the path is made canonical (slashes as backslashes, "." and ".." resolved), since the
/// system no longer does that for such a path. A path already in that form comes back as it is;
/// one that is not absolute comes back empty.
[[nodiscard]] std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace kestrune::platform::win32
