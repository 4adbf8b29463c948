#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::platform {

/// A file opened for sequential reading. Other readers are allowed; writers are denied where
/// the platform can deny them (Windows share modes; Linux has no such lock).
///
/// Paths are absolute and may be of any length the file system allows: the Windows build
/// hands them to the system in their extended-length form (\\?\C:\..., \\?\UNC\server\...),
/// so that a tree deeper than 260 characters is read like any other.
class ReadOnlyFile {
 public:
  /// Opens `path`. A symbolic link or junction at `path` itself is never followed: it fails
  /// to open (links above it, in the folders that lead to it, are followed). On failure
  /// returns nothing and sets `errorDescription` to the system's description of the failure,
  /// naming the file and the cause, in the encoding of the program's standard output.
  [[nodiscard]] static std::optional<ReadOnlyFile> Open(const std::wstring& path,
                                                        std::string& errorDescription);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kNone;
    }
    return *this;
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() { Close(); }

  /// Reads up to `size` bytes; fewer only at the end of the file. -1 when a read fails.
  [[nodiscard]] int64_t ReadFull(void* buffer, size_t size);

 private:
  static constexpr intptr_t kNone = -1;
  explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
  void Close();

  intptr_t handle_ = kNone;
};

/// What a path names, looked at without following a link.
enum class PathKind {
  kMissing,     ///< nothing by that name (nor a folder on the way to it)
  kUnreadable,  ///< something may be there, but the system would not say what
  kFolder,      ///< a folder that is not a link
  kLink,        ///< a symbolic link or a junction (any name-surrogate reparse point),
                ///< whatever it points to
  kOther,       ///< anything else: a file, or a special file such as a device or a socket
};

/// One entry of a folder: its name (no path) and what it is, looked at without following it.
struct FolderEntry {
  std::wstring name;
  PathKind kind = PathKind::kOther;
};

/// How a listing ended.
enum class FolderListing {
  kComplete,  ///< every entry of the folder was read, up to the listing's normal end
  kMissing,   ///< nothing is at the path
  kFailed,    ///< not a folder, a link, not openable, or the listing broke off part-way
};

/// Looks at folders and lists them for readers of trees that must not miss anything. Nothing
/// here follows a link at the path given, and long paths are handled as by ReadOnlyFile.
class FolderReader {
 public:
  virtual ~FolderReader() = default;

  /// What `path` is.
  [[nodiscard]] virtual PathKind Kind(const std::wstring& path) = 0;

  /// Appends the entries of the folder `folder` to `entries`, in the order the file system
  /// returns them, without "." and "..". kComplete only when the listing reached its normal
  /// end: an error in the middle of it is kFailed, never an end, and the entries read
  /// before it stay appended. A link at `folder` itself is not entered (kFailed).
  [[nodiscard]] virtual FolderListing List(const std::wstring& folder,
                                           std::vector<FolderEntry>& entries) = 0;
};

/// The reader of this platform's real file systems; one for the process, usable from any
/// thread.
FolderReader& FileSystemFolders();

}  // namespace kestrune::platform
