#include "md5lists/utf8.h"

#include <cstdint>

namespace kestrune::harlune {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapeBase = 0xDC00;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the well-formed sequence at the start of `rest` (the Unicode table of well-formed
// byte sequences: no overlong forms, no surrogates, nothing above U+10FFFF). Returns its
// length, or 0 when the first byte does not start one.
size_t DecodeSequence(std::string_view rest, char32_t& codePoint) {
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
    if (!IsContinuation(byte(i))) return 0;
  }
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
  codePoint = value;
  return length;
}

void AppendUtf8(char32_t codePoint, std::string& out) {
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

}  // namespace

void AppendUtf16FromUtf8(std::string_view utf8, InvalidUtf8 invalid, std::u16string& out) {
  size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {  // the common case, kept short
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const size_t length = DecodeSequence(utf8.substr(i), codePoint);
    if (length == 0) {
      out += invalid == InvalidUtf8::kEscape ? static_cast<char16_t>(kEscapeBase + lead)
                                             : kReplacement;
      ++i;
      continue;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
      out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    } else {
      out += static_cast<char16_t>(codePoint);
    }
    i += length;
  }
}

std::u16string Utf16FromUtf8(std::string_view utf8, InvalidUtf8 invalid) {
  std::u16string out;
  out.reserve(utf8.size());
  AppendUtf16FromUtf8(utf8, invalid, out);
  return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
      ++i;
    } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      out += static_cast<char>(unit - kEscapeBase);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(kReplacement, out);
    } else {
      AppendUtf8(unit, out);
    }
  }
  return out;
}

}  // namespace kestrune::harlune
