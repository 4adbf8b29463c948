#include "wizard/strings.h"

namespace kestrune {

// Placeholder until the strings table is built.
std::wstring LoadText(uint32_t, Language) { return {}; }

std::wstring FormatInserts(std::wstring_view pattern, std::span<const std::wstring>) {
  return std::wstring(pattern);
}

}  // namespace kestrune
