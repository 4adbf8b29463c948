#include "platform/win32/windows_support.h"

#include "platform/win32/win32_paths.h"

namespace kestrune::platform::win32 {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsExtendedLength(const std::wstring& path) {
  return path.size() >= 4 && path.compare(0, 4, LR"(\\?\)") == 0;
}

// GetFullPathNameW with no length limit. For an absolute path it only rewrites the string; it
// never consults the current folder.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(path.size() + 1, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the size needed, the terminating null included
  }
  return {};
}

}  // namespace

bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
    return true;
  }
  return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (IsExtendedLength(path)) return path;
  if (!IsAbsolutePath(path)) return {};
  std::wstring canonical = path;
  for (wchar_t& c : canonical) {
    if (c == L'/') c = L'\\';
  }
  canonical = FullPath(canonical);
  if (canonical.size() < 3) return {};
  if (canonical[0] == L'\\' && canonical[1] == L'\\') {
    if (canonical[2] == L'.' || canonical[2] == L'?') return canonical;  // a device path
    return LR"(\\?\UNC\)" + canonical.substr(2);
  }
  return LR"(\\?\)" + canonical;
}

}  // namespace kestrune::platform::win32
