#pragma once

#include <filesystem>

#include "platform/file_tree.h"
#include "platform/private_folders.h"

namespace kestrune::platform::host {

/// The file operations of the Linux build, on the real file system. A symbolic link is a
/// link wherever it points; nothing is ever followed (lstat, unlink, and a walk that does not
/// descend into links).
class HostFileTree : public FileTree {
 public:
  EntryKind Kind(const std::wstring& path) override;
  bool RemoveTree(const std::wstring& path) override;
  bool CreateFolder(const std::wstring& path) override;
  bool CopyNewFile(const std::wstring& from, const std::wstring& to) override;
  bool WriteNewFile(const std::wstring& path, std::string_view bytes) override;
};

/// Run folders of mode 0700 below `root`, which is created (0700) when missing and used only
/// when it is a real folder of this user's that nobody else may write.
class HostPrivateFolders : public PrivateFolders {
 public:
  explicit HostPrivateFolders(std::filesystem::path root) : root_(std::move(root)) {}
  std::wstring CreateRunFolder() override;

 private:
  std::filesystem::path root_;
};

}  // namespace kestrune::platform::host
