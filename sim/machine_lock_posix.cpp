#include "sim/machine_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace kestrune::sim {

MachineLock::MachineLock(const std::filesystem::path& folder, bool exclusive) {
  const int fd = ::open((folder / "machine.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  while (::flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return;
    }
  }
  handle_ = fd;
  held_ = true;
}

MachineLock::~MachineLock() {
  if (held_) ::close(static_cast<int>(handle_));  // closing releases the lock
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace kestrune::sim
