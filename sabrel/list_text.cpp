#include "sabrel/list_text.h"

#include <cstdint>
#include <string_view>

#include "text/utf8.h"

namespace kestrune::sabrel {
namespace {

constexpr char32_t kReplacement = text::kReplacementCharacter;

void AppendUtf8(std::string& out, char32_t c) { text::AppendUtf8(c, out); }

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
  char32_t ignored = 0;
  return text::DecodeUtf8Sequence(
      std::string_view(reinterpret_cast<const char*>(bytes.data()) + i, bytes.size() - i), ignored);
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
