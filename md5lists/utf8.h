#pragma once

#include <string>
#include <string_view>

namespace kestrune::harlune {

/// What becomes of a byte that does not start a complete, well-formed UTF-8 sequence.
enum class InvalidUtf8 {
  /// U+FFFD, one per such byte: list text, where the byte has no meaning of its own.
  kReplace,
  /// The lone surrogate U+DC00 + byte, which `Utf8FromUtf16` writes back as that byte: Linux
  /// file names are bytes and need not be UTF-8, and a message must name them as given.
  kEscape,
};

/// Appends `utf8` to `out` as UTF-16 (a code point above U+FFFF becomes a surrogate pair).
void AppendUtf16FromUtf8(std::string_view utf8, InvalidUtf8 invalid, std::u16string& out);

std::u16string Utf16FromUtf8(std::string_view utf8, InvalidUtf8 invalid);

/// UTF-8 of `text`. An escaped byte (see `InvalidUtf8::kEscape`) is written back as itself;
/// any other unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace kestrune::harlune
