#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace kestrune::platform::host {

/// The owner of one file descriptor: closes it when it goes, or when given another.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  /// Gives the descriptor up without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  /// Closes the descriptor held, and holds `fd` instead.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

/// The two ends of a pipe.
struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

/// A new pipe with `flags` as pipe2 takes them (close-on-exec is always added); both ends
/// invalid when the system cannot make one.
inline Pipe MakePipe(int flags = 0) {
  int ends[2];
  if (::pipe2(ends, flags | O_CLOEXEC) != 0) return {};
  return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

}  // namespace kestrune::platform::host
