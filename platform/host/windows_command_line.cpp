#include "platform/host/windows_command_line.h"

namespace kestrune::platform::host {

std::vector<std::wstring> SplitWindowsParameters(std::wstring_view text) {
  std::vector<std::wstring> arguments;
  size_t i = 0;
  const size_t n = text.size();
  auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };

  while (true) {
    while (i < n && isBlank(text[i])) ++i;
    if (i >= n) break;

    std::wstring argument;
    bool inQuotes = false;
    while (i < n && (inQuotes || !isBlank(text[i]))) {
      if (text[i] == L'\\') {
        size_t backslashes = 0;
        while (i < n && text[i] == L'\\') ++backslashes, ++i;
        if (i < n && text[i] == L'"') {
          argument.append(backslashes / 2, L'\\');
          if (backslashes % 2 == 1) {
            argument += L'"';
            ++i;
          }
          // With an even count the quote is handled by the next round of the loop.
        } else {
          argument.append(backslashes, L'\\');
        }
      } else if (text[i] == L'"') {
        if (inQuotes && i + 1 < n && text[i + 1] == L'"') {
          argument += L'"';
          i += 2;
        } else {
          inQuotes = !inQuotes;
          ++i;
        }
      } else {
        argument += text[i++];
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace kestrune::platform::host
