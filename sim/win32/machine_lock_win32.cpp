// The gateway comes first, before any other header.
#include "platform/win32/windows_support.h"

#include "sim/machine_lock.h"

namespace kestrune::sim {

MachineLock::MachineLock(const std::filesystem::path& folder, bool exclusive) {
  const HANDLE file = CreateFileW((folder / L"machine.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  OVERLAPPED whole{};
  // One byte far past any content stands for the whole file, as flock locks it whole.
  if (!LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &whole)) {
    CloseHandle(file);
    return;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  held_ = true;
}

MachineLock::~MachineLock() {
  if (held_) CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing releases the lock
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace kestrune::sim
