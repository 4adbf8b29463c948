#include "platform/host/utf8.h"

#include <cstdint>

namespace kestrune::platform::host {
namespace {

constexpr char32_t kEscapeBase = 0xDC80;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at `text[i]` and its code point; 0 when it is not one.
size_t DecodeOne(std::string_view text, size_t i, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  codePoint = value;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
  std::wstring wide;
  wide.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    const size_t length = DecodeOne(utf8, i, c);
    if (length == 0) {
      wide += static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(utf8[i]) - 0x80);
      ++i;
    } else {
      wide += static_cast<wchar_t>(c);
      i += length;
    }
  }
  return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t w : wide) {
    const auto c = static_cast<char32_t>(w);
    if (c >= kEscapeBase && c <= kEscapeBase + 0x7F) {
      out += static_cast<char>(c - kEscapeBase + 0x80);  // an escaped raw byte
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace kestrune::platform::host
