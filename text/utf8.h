#pragma once

// UTF-8 <-> UTF-16 and wide text, without the process locale: the one conversion module of
// the system. Header-only, so that Harlune and Sabrel use it without linking anything.
//
// Bytes that are not UTF-8 (Linux file names are bytes and need not be UTF-8) can be kept:
// each becomes the lone surrogate U+DC00 + byte (U+DC80 to U+DCFF), which the conversion
// back to UTF-8 writes as that byte again, so every name survives the round trip.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::text {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
inline constexpr char32_t kEscapeBase = 0xDC00;

/// What becomes of a byte that does not start a complete, well-formed UTF-8 sequence.
enum class InvalidUtf8 {
  /// U+FFFD, one per such byte: text whose bytes have no meaning of their own.
  kReplace,
  /// U+DC00 + byte, written back as that byte: names that must come back as given.
  kEscape,
};

/// Decodes the well-formed sequence at the start of `rest` (the Unicode table of well-formed
/// byte sequences: no overlong forms, no surrogates, nothing above U+10FFFF). Returns its
/// length, or 0 when the first byte does not start one; an invalid sequence is always
/// skipped one byte at a time.
inline size_t DecodeUtf8Sequence(std::string_view rest, char32_t& codePoint) {
  if (rest.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(rest[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (rest.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
  codePoint = value;
  return length;
}

/// Appends the UTF-8 form of `codePoint` (at most U+10FFFF).
inline void AppendUtf8(char32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

/// Appends `codePoint` to text of 16-bit code units (a surrogate pair above U+FFFF) or of
/// 32-bit ones (wchar_t on Linux).
template <typename Char>
void AppendCodePoint(char32_t codePoint, std::basic_string<Char>& out) {
  if (sizeof(Char) == 2 && codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out += static_cast<Char>(0xD800 + (codePoint >> 10));
    out += static_cast<Char>(0xDC00 + (codePoint & 0x3FF));
  } else {
    out += static_cast<Char>(codePoint);
  }
}

/// Appends `utf8` to `out` in its encoding (UTF-16 for char16_t and Windows' wchar_t, UTF-32
/// for Linux's wchar_t).
template <typename Char>
void AppendFromUtf8(std::string_view utf8, InvalidUtf8 invalid, std::basic_string<Char>& out) {
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {  // the common case, kept short
      out += static_cast<Char>(lead);
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const size_t length = DecodeUtf8Sequence(utf8.substr(i), codePoint);
    if (length == 0) {
      out += static_cast<Char>(invalid == InvalidUtf8::kEscape ? kEscapeBase + lead
                                                               : kReplacementCharacter);
      ++i;
      continue;
    }
    AppendCodePoint(codePoint, out);
    i += length;
  }
}

/// UTF-8 of text in 16-bit or 32-bit code units. An escaped byte (U+DC80 to U+DCFF not
/// part of a pair) is written back as itself; any other unpaired surrogate, and anything
/// above U+10FFFF, becomes U+FFFD.
template <typename Char>
std::string Utf8From(std::basic_string_view<Char> text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<char32_t>(text[i]);
    // Pairs exist only in 16-bit text; in 32-bit text each half stands alone.
    if (sizeof(Char) == 2 && unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
        static_cast<char32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<char32_t>(text[i + 1]) <= 0xDFFF) {
      AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00),
                 out);
      ++i;
    } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      out += static_cast<char>(unit - kEscapeBase);
    } else if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) {
      AppendUtf8(kReplacementCharacter, out);
    } else {
      AppendUtf8(unit, out);
    }
  }
  return out;
}

inline std::u16string Utf16FromUtf8(std::string_view utf8, InvalidUtf8 invalid) {
  std::u16string out;
  out.reserve(utf8.size());
  AppendFromUtf8(utf8, invalid, out);
  return out;
}

inline std::string Utf8FromUtf16(std::u16string_view text) { return Utf8From(text); }

/// Wide text at the Linux boundaries (file names, argv, the terminal). Bytes that are not
/// UTF-8 are escaped unless told otherwise.
inline std::wstring WideFromUtf8(std::string_view utf8,
                                 InvalidUtf8 invalid = InvalidUtf8::kEscape) {
  std::wstring out;
  out.reserve(utf8.size());
  AppendFromUtf8(utf8, invalid, out);
  return out;
}

inline std::string Utf8FromWide(std::wstring_view text) { return Utf8From(text); }

}  // namespace kestrune::text
