#pragma once

// A planted program or library that leaves a mark when it runs or is loaded: an empty file
// named after its own module ("Sabrel.exe.ran") in the folder that KESTRUNE_PLANTED_MARKS
// names. The wine tests plant it beside the images under the names of the carried tools and
// then require that no mark appears.

#include "platform/win32/windows_support.h"

#include <cstdlib>
#include <string>

namespace kestrune::testing {

inline void LeaveMark(HMODULE module) {
  const wchar_t* folder = _wgetenv(L"KESTRUNE_PLANTED_MARKS");
  if (folder == nullptr || *folder == L'\0') return;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring name(path, length);
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const std::wstring mark = std::wstring(folder) + L"\\" + name + L".ran";
  const HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace kestrune::testing
