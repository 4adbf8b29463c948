#include "platform/win32/windows_support.h"

#include <string>

#include "platform/read_only_file.h"

namespace kestrune::platform {

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path,
                                               std::string& errorDescription) {
  windows::UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    errorDescription = windows::NarrowText(path + L": " + windows::SystemErrorText(error), CP_ACP);
    return std::nullopt;
  }
  return ReadOnlyFile(reinterpret_cast<intptr_t>(file.Release()));
}

void ReadOnlyFile::Close() {
  // The handle was taken from an owner in Open; this object is its owner now.
  windows::UniqueHandle owner(reinterpret_cast<HANDLE>(std::exchange(handle_, kNone)));
}

int64_t ReadOnlyFile::ReadFull(void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD request = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done);
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), bytes + done, request, &got, nullptr))
      return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

}  // namespace kestrune::platform
