#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/host/unique_fd.h"
#include "platform/read_only_file.h"
#include "text/utf8.h"

namespace kestrune::platform {
namespace {

PathKind KindOfMode(mode_t mode) {
  if (S_ISLNK(mode)) return PathKind::kLink;
  if (S_ISDIR(mode)) return PathKind::kFolder;
  return PathKind::kOther;
}

// Nothing there, as opposed to something the system will not describe (no right to search a
// folder on the way, a path longer than PATH_MAX).
bool IsAbsence(int error) { return error == ENOENT || error == ENOTDIR; }

// The owner of a directory stream; closing it closes its descriptor.
class UniqueDir {
 public:
  explicit UniqueDir(DIR* dir) : dir_(dir) {}
  ~UniqueDir() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  UniqueDir(const UniqueDir&) = delete;
  UniqueDir& operator=(const UniqueDir&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

class HostFolderReader : public FolderReader {
 public:
  PathKind Kind(const std::wstring& path) override {
    struct stat info {};
    if (::lstat(text::Utf8FromWide(path).c_str(), &info) != 0) {
      return IsAbsence(errno) ? PathKind::kMissing : PathKind::kUnreadable;
    }
    return KindOfMode(info.st_mode);
  }

  FolderListing List(const std::wstring& folder, std::vector<FolderEntry>& entries) override {
    // O_NOFOLLOW: a link in the folder's place is not listed in its stead.
    host::UniqueFd fd(::open(text::Utf8FromWide(folder).c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return errno == ENOENT ? FolderListing::kMissing : FolderListing::kFailed;
    UniqueDir dir(::fdopendir(fd.get()));
    if (dir.get() == nullptr) return FolderListing::kFailed;
    static_cast<void>(fd.release());  // the stream owns it now
    while (true) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) return errno == 0 ? FolderListing::kComplete : FolderListing::kFailed;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      PathKind kind = PathKind::kOther;
      if (entry->d_type == DT_LNK) {
        kind = PathKind::kLink;
      } else if (entry->d_type == DT_DIR) {
        kind = PathKind::kFolder;
      } else if (entry->d_type == DT_UNKNOWN) {
        // Some file systems do not say in the listing: ask, still without following.
        struct stat info {};
        kind = ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
                   ? KindOfMode(info.st_mode)
                   : PathKind::kUnreadable;
      }
      entries.push_back({text::WideFromUtf8(name), kind});
    }
  }
};

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path,
                                               std::string& errorDescription) {
  const std::string native = text::Utf8FromWide(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    errorDescription = native + ": " + std::strerror(error);
    return std::nullopt;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return ReadOnlyFile(fd);
}

void ReadOnlyFile::Close() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

int64_t ReadOnlyFile::ReadFull(void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(static_cast<int>(handle_), bytes + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

FolderReader& FileSystemFolders() {
  static HostFolderReader reader;
  return reader;
}

}  // namespace kestrune::platform
