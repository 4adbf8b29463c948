#pragma once

// Links and clean-up for the tests of the link-safe file operations, on Windows and under wine.
// Wine 8 answers CreateSymbolicLinkW with success but makes nothing, and has no junctions; it
// shows a Linux symbolic link to a folder as a folder with FILE_ATTRIBUTE_REPARSE_POINT, and
// cannot remove it. The tests make such a link with the Linux ln, which wine starts through
// CreateProcessW, but without a process to wait for: the helpers wait for the effect instead.

#include <string>

namespace kestrune::platform::win32 {

/// Whether the tests run under wine rather than Windows.
[[nodiscard]] bool RunsUnderWine();

/// How `MakeFolderLink` made its link.
enum class TestLink {
  kNone,     ///< no way to make one here
  kWindows,  ///< a directory symbolic link or a junction, which Windows can remove
  kLinux,    ///< a Linux symbolic link seen through wine, which wine cannot remove
};

/// Makes `link` (which must not exist) a link to the folder `target`: a directory symbolic
/// link, else a junction, else under wine a Linux symbolic link. Each is checked to show as a
/// reparse point before it counts.
[[nodiscard]] TestLink MakeFolderLink(const std::wstring& link, const std::wstring& target);

/// The tests' own clean-up of `path` and everything below it, never following a link: under
/// wine with the Linux rm (wine cannot remove a Linux link), on Windows with Win32FileTree.
void RemoveTestFolder(const std::wstring& path);

}  // namespace kestrune::platform::win32
