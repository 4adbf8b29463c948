#include <windows.h>

#include <string>

#include "platform/read_only_file.h"

namespace kestrune::platform {
namespace {

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), size,
                        nullptr, nullptr);
  }
  return narrow;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message =
      length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return message;
}

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path,
                                               std::string& errorDescription) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errorDescription = Narrow(path + L": " + SystemMessage(error));
    return std::nullopt;
  }
  return ReadOnlyFile(reinterpret_cast<intptr_t>(file));
}

void ReadOnlyFile::Close() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
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
