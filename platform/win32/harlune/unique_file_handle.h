#pragma once

#include <windows.h>

namespace kestrune::harlune::win32 {

/// Owns a file handle from CreateFileW and closes it once.
class UniqueFileHandle {
 public:
  explicit UniqueFileHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueFileHandle() { Close(); }
  UniqueFileHandle(const UniqueFileHandle&) = delete;
  UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  /// Closes now; false when the system reports a failure.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace kestrune::harlune::win32
