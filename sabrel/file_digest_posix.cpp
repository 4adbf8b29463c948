#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sabrel/file_digest.h"

namespace kestrune::sabrel {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

FileDigest Failed(DigestOutcome outcome, int error = 0) {
  FileDigest result;
  result.outcome = outcome;
  result.systemError = static_cast<unsigned long>(error);
  return result;
}

}  // namespace

FileDigest DigestFile(const std::filesystem::path& path, std::span<std::byte> buffer, Md5& md5,
                      std::atomic<std::uint64_t>* bytesRead) {
  // O_NONBLOCK: opening a FIFO planted on the drive must not wait for a writer.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return Failed(DigestOutcome::kMissing, error);
    if (error == EACCES || error == EPERM) return Failed(DigestOutcome::kDenied, error);
    return Failed(DigestOutcome::kReadError, error);
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return Failed(DigestOutcome::kReadError, errno);
  if (!S_ISREG(info.st_mode)) return Failed(DigestOutcome::kNotRegular);
  ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  if (!md5.Begin()) return Failed(DigestOutcome::kHashFailed);
  while (true) {
    const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failed(DigestOutcome::kReadError, errno);
    }
    if (got == 0) break;
    if (bytesRead != nullptr) bytesRead->fetch_add(static_cast<std::uint64_t>(got));
    if (!md5.Update(buffer.first(static_cast<std::size_t>(got)))) {
      return Failed(DigestOutcome::kHashFailed);
    }
  }
  const auto digest = md5.Finish();
  if (!digest) return Failed(DigestOutcome::kHashFailed);
  FileDigest result;
  result.outcome = DigestOutcome::kDone;
  result.digest = *digest;
  return result;
}

}  // namespace kestrune::sabrel
