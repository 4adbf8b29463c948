// The list files on Windows. Both are opened sharing reading only, so no other program can
// write to them while they are open.
#include "platform/win32/windows_support.h"

#include <algorithm>

#include "md5lists/list_files.h"

namespace kestrune::harlune {

using windows::UniqueHandle;

ListReadResult ReadListFile(const std::filesystem::path& path, std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    // A name that cannot name a file (wildcards, an unknown drive) names nothing that exists.
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_INVALID_DRIVE:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_NET_NAME:
        return ListReadResult::kNotFound;
      default:
        return ListReadResult::kCannotOpen;
    }
  }
  bytes.clear();
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      return ListReadResult::kCannotOpen;
    }
    if (got == 0) return ListReadResult::kRead;
    bytes.append(buffer, got);
  }
}

bool WriteListFile(const std::filesystem::path& path, std::string_view bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  bool written = true;
  while (written && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    DWORD done = 0;
    written = WriteFile(file.get(), bytes.data(), chunk, &done, nullptr) && done == chunk;
    bytes.remove_prefix(chunk);
  }
  if (written && file.Close()) return true;
  file.Reset();
  DeleteFileW(path.c_str());
  return false;
}

}  // namespace kestrune::harlune
