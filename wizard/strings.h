#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrune {

/// The languages the wizard speaks.
enum class Language { kEnglish, kJapanese };

/// The text of string resource `id` in `language`; empty when there is no such string.
std::wstring LoadText(uint32_t id, Language language);

/// Replaces each "%1" to "%5" in `pattern` by the insert of that number (empty when fewer
/// inserts are given). A "%" not followed by a digit 1 to 5 stays as it is.
std::wstring FormatInserts(std::wstring_view pattern, std::span<const std::wstring> inserts);

}  // namespace kestrune
