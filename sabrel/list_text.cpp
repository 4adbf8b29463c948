#include "sabrel/list_text.h"

#include <cstdint>

namespace kestrune::sabrel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

std::uint8_t Byte(std::span<const std::byte> bytes, std::size_t i) {
  return std::to_integer<std::uint8_t>(bytes[i]);
}

void AddLine(ListText& text, ListLine&& line, bool atEnd) {
  if (atEnd && line.valid && line.text.empty()) {
    return;
  }
  text.lines.push_back(std::move(line));
}

void DecodeUtf16(std::span<const std::byte> bytes, bool bigEndian, ListText& text) {
  const std::size_t units = bytes.size() / 2;
  auto unitAt = [&](std::size_t i) -> char16_t {
    const std::uint8_t a = Byte(bytes, 2 * i);
    const std::uint8_t b = Byte(bytes, 2 * i + 1);
    return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  ListLine line;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = unitAt(i);
    if (unit == u'\n') {
      AddLine(text, std::move(line), false);
      line = ListLine{};
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
               unitAt(i + 1) <= 0xDFFF) {
      const char16_t low = unitAt(++i);
      AppendUtf8(line.text, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00));
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(line.text, kReplacement);
      line.valid = false;
    } else {
      AppendUtf8(line.text, unit);
    }
  }
  if (bytes.size() % 2 != 0) {
    AppendUtf8(line.text, kReplacement);
    line.valid = false;
  }
  AddLine(text, std::move(line), true);
}

/// Length of the well-formed UTF-8 sequence at `i` (no overlong forms, no surrogates,
/// nothing above U+10FFFF), or 0.
std::size_t Utf8SequenceLength(std::span<const std::byte> bytes, std::size_t i) {
  const std::uint8_t lead = Byte(bytes, i);
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead < 0x80) return 1;
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
  if (i + length > bytes.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const std::uint8_t next = Byte(bytes, i + k);
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

void DecodeUtf8(std::span<const std::byte> bytes, ListText& text) {
  ListLine line;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (Byte(bytes, i) == '\n') {
      AddLine(text, std::move(line), false);
      line = ListLine{};
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(bytes, i);
    if (length == 0) {
      AppendUtf8(line.text, kReplacement);
      line.valid = false;
      ++i;
      continue;
    }
    for (std::size_t k = 0; k < length; ++k) {
      line.text += static_cast<char>(Byte(bytes, i + k));
    }
    i += length;
  }
  AddLine(text, std::move(line), true);
}

}  // namespace

ListText DecodeListText(std::span<const std::byte> bytes) {
  ListText text;
  const std::size_t size = bytes.size();
  if (size >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xFE) {
    text.encoding = ListEncoding::kUtf16Le;
    DecodeUtf16(bytes.subspan(2), false, text);
  } else if (size >= 2 && Byte(bytes, 0) == 0xFE && Byte(bytes, 1) == 0xFF) {
    text.encoding = ListEncoding::kUtf16Be;
    DecodeUtf16(bytes.subspan(2), true, text);
  } else if (size >= 3 && Byte(bytes, 0) == 0xEF && Byte(bytes, 1) == 0xBB &&
             Byte(bytes, 2) == 0xBF) {
    DecodeUtf8(bytes.subspan(3), text);
  } else if (size >= 2 && Byte(bytes, 0) != 0 && Byte(bytes, 1) == 0) {
    text.encoding = ListEncoding::kUtf16Le;
    DecodeUtf16(bytes, false, text);
  } else {
    DecodeUtf8(bytes, text);
  }
  return text;
}

}  // namespace kestrune::sabrel
