#include "sabrel/list_path.h"

#include <array>

#include "sabrel/text_helpers.h"

namespace kestrune::sabrel {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

/// Windows opens the device, not a file on the drive, for these names, with or without an
/// extension ("NUL.txt" is the null device too).
bool IsDeviceName(std::string_view name) {
  const std::string_view stem = name.substr(0, name.find('.'));
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kPlain) {
    if (EqualsIgnoringAsciiCase(stem, device)) return true;
  }
  if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9') {
    const std::string_view prefix = stem.substr(0, 3);
    return EqualsIgnoringAsciiCase(prefix, "COM") || EqualsIgnoringAsciiCase(prefix, "LPT");
  }
  return false;
}

std::string_view NameProblem(std::string_view name) {
  if (name.empty() || name == ".") return "an empty or \".\" name in the path";
  if (name == "..") return "\"..\" would leave the drive root";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "a control character in the path";
    if (c == ':') return "a drive prefix or stream name (':') would leave the drive root";
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
      return "a character that a FAT32 name cannot hold";
    }
  }
  if (name.back() == '.' || name.back() == ' ') return "a name that ends in a dot or a space";
  if (IsDeviceName(name)) return "a device name in the path";
  return {};
}

}  // namespace

ListedPath SplitListedPath(std::string_view path) {
  ListedPath result;
  if (path.empty()) {
    result.problem = "no path after the digest";
    return result;
  }
  if (IsSeparator(path.front())) {
    result.problem = "an absolute path would leave the drive root";
    return result;
  }
  std::size_t start = 0;
  while (true) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view name = path.substr(start, end - start);
    result.problem = NameProblem(name);
    if (!result.problem.empty()) {
      result.components.clear();
      return result;
    }
    result.components.emplace_back(name);
    if (end == path.size()) break;
    start = end + 1;
  }
  return result;
}

}  // namespace kestrune::sabrel
