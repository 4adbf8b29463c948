#include "platform/win32/win32_volume_naming.h"

#include <cwctype>

namespace kestrune::platform::win32 {

bool Win32VolumeNaming::VolumeOf(const std::wstring& path, std::wstring& root,
                                 std::wstring& name) {
  if (path.size() < 2 || path[1] != L':') return false;
  const auto letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(path[0])));
  if (letter < L'A' || letter > L'Z') return false;
  name = std::wstring(1, letter) + L":";
  root = name + L"\\";
  return true;
}

}  // namespace kestrune::platform::win32
