#include <windows.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sabrel/exit_codes.h"
#include "sabrel/sabrel_app.h"

namespace {

std::string Utf8FromWide(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

}  // namespace

/// Wide entry (linked with -municode), so that folder names outside the ANSI code page
/// reach the check intact.
int wmain(int argc, wchar_t** argv) {
  using namespace kestrune::sabrel;
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      args.push_back(Utf8FromWide(argv[i]));
    }
    return RunSabrel(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "Sabrel: " << e.what() << '\n';
    return ToInt(ExitCode::kInternalError);
  }
}
