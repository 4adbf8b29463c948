// Harlune.exe: the Windows entry of the MD5 list splitter, a console program.
#include "platform/win32/windows_support.h"

#include <string>
#include <vector>

#include "md5lists/harlune_program.h"

namespace {

// Writes `text` to a standard stream as a text-mode stream would, "\n" as CR LF: to a
// console as its own characters, anywhere else (a pipe, a file) as UTF-8.
void WriteText(DWORD stream, std::u16string_view text) {
  const HANDLE handle = GetStdHandle(stream);
  if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::wstring wide;
  for (const char16_t unit : text) {
    if (unit == u'\n') wide += L'\r';
    wide += static_cast<wchar_t>(unit);
  }
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD done = 0;
    for (size_t at = 0; at < wide.size(); at += done) {
      if (!WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(wide.size() - at), &done,
                         nullptr) ||
          done == 0) {
        return;
      }
    }
    return;
  }
  const std::string bytes = kestrune::windows::NarrowText(wide, CP_UTF8);
  DWORD done = 0;
  for (size_t at = 0; at < bytes.size(); at += done) {
    if (!WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &done,
                   nullptr) ||
        done == 0) {
      return;
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  kestrune::windows::HardenSearchPaths();  // started by the elevated program: elevated too
  using namespace kestrune::harlune;
  std::vector<ProgramArgument> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(
        {std::u16string(argument.begin(), argument.end()), std::filesystem::path(argument)});
  }
  const ProgramResult result = RunHarlune(arguments);
  WriteText(STD_OUTPUT_HANDLE, result.standardOutput);
  WriteText(STD_ERROR_HANDLE, result.standardError);
  return result.exitCode;
}
