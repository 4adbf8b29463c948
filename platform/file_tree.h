#pragma once

#include <string>
#include <string_view>

namespace kestrune::platform {

/// What a path names, looked at without following it.
enum class EntryKind {
  kNone,    ///< nothing by that name, or nothing that can be looked at
  kFile,
  kFolder,
  kLink,    ///< a symbolic link, a junction or any other reparse point, whatever it points to
};

/// File operations that never follow a link. The program runs with administrator rights in
/// folders that its user can write (the image folder, the USB drive), so a link found where
/// the program expects a file or folder of its own is never entered, and its target is never
/// touched. Paths are absolute.
class FileTree {
 public:
  virtual ~FileTree() = default;

  /// What `path` is, without following it.
  [[nodiscard]] virtual EntryKind Kind(const std::wstring& path) = 0;

  /// Removes `path`: a file or a link as itself, a folder with everything below it, read-only
  /// files included. A link met anywhere in the tree is removed as the link itself: what it
  /// points to is neither entered nor changed. True when nothing is left at `path` (also
  /// when there was nothing).
  [[nodiscard]] virtual bool RemoveTree(const std::wstring& path) = 0;

  /// Creates the folder `path`, which must not exist yet. False when it exists (as anything)
  /// or cannot be created.
  [[nodiscard]] virtual bool CreateFolder(const std::wstring& path) = 0;

  /// Copies the file `from`, which must be a file and not a link, to the new file `to`, which
  /// must not exist yet, and reads the copy back to compare it. False, with no file left at
  /// `to`, when any of that fails.
  [[nodiscard]] virtual bool CopyNewFile(const std::wstring& from, const std::wstring& to) = 0;

  /// Writes `bytes` into the new file `path`, which must not exist yet (as anything: a link
  /// there is never followed). False when it exists or the write fails; a file that could
  /// not be written whole is removed again.
  [[nodiscard]] virtual bool WriteNewFile(const std::wstring& path, std::string_view bytes) = 0;
};

}  // namespace kestrune::platform
