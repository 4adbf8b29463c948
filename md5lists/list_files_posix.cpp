// The list files on Linux, with POSIX calls so that every failure is seen. POSIX has no
// share modes: other writers cannot be kept out.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "md5lists/list_files.h"

namespace kestrune::harlune {
namespace {

// Owns a file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  /// Closes now; false when the close reports a failed write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

ListReadResult ReadListFile(const std::filesystem::path& path, std::string& bytes) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY));
  if (!file.valid()) {
    return errno == ENOENT || errno == ENOTDIR ? ListReadResult::kNotFound
                                               : ListReadResult::kCannotOpen;
  }
  bytes.clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ListReadResult::kCannotOpen;  // a folder, for one
    if (got == 0) return ListReadResult::kRead;
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

bool WriteListFile(const std::filesystem::path& path, std::string_view bytes) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), bytes);
  if (written && file.Close()) return true;
  ::unlink(path.c_str());
  return false;
}

}  // namespace kestrune::harlune
