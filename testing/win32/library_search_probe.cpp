// A console program for the tests of the library search hardening:
//   library_search_probe plain|hardened <library>
// loads <library> by the name given, after HardenSearchPaths when asked. Exit code 0 when the
// library loaded, else the system's error.
#include "platform/win32/windows_support.h"

#include <string_view>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return ERROR_BAD_ARGUMENTS;
  if (std::wstring_view(argv[1]) == L"hardened") kestrune::windows::HardenSearchPaths();
  if (LoadLibraryW(argv[2]) != nullptr) return 0;
  return static_cast<int>(GetLastError());
}
