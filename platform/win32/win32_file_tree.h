#pragma once

#include "platform/file_tree.h"

namespace kestrune::platform::win32 {

/// The file operations that never follow a link, on the Windows file APIs. Every entry whose
/// attributes carry FILE_ATTRIBUTE_REPARSE_POINT counts as a link, whatever its tag (a
/// junction, a symbolic link, a mount point, a cloud placeholder): a folder link is removed
/// with RemoveDirectoryW, any other with DeleteFileW, both of which act on the link itself.
/// Paths go to the system in their extended-length form, so trees deeper than MAX_PATH are
/// handled; a path that is not absolute is refused (nothing, false).
class Win32FileTree : public FileTree {
 public:
  EntryKind Kind(const std::wstring& path) override;
  /// Each folder of the tree is held open, without sharing write or delete access, from the
  /// check that it is a real folder until its entries are gone, so that it cannot be swapped
  /// for a link in between. Entries that cannot be removed are passed over, the rest still go.
  bool RemoveTree(const std::wstring& path) override;
  bool CreateFolder(const std::wstring& path) override;
  /// Reads the source through the handle whose attributes were checked and writes a new file
  /// (CREATE_NEW); a failed copy is deleted through its own handle.
  bool CopyNewFile(const std::wstring& from, const std::wstring& to) override;
  bool WriteNewFile(const std::wstring& path, std::string_view bytes) override;
};

}  // namespace kestrune::platform::win32
