#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/read_only_file.h"
#include "text/utf8.h"

namespace kestrune::platform {

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path,
                                               std::string& errorDescription) {
  const std::string native = text::Utf8FromWide(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
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

}  // namespace kestrune::platform
