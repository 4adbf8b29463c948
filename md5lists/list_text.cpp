#include "md5lists/list_text.h"

#include "text/utf8.h"

namespace kestrune::harlune {
namespace {

// CR LF read as LF, as a text-mode stream does.
std::u16string JoinLineEnds(std::u16string text) {
  size_t to = 0;
  for (size_t from = 0; from < text.size(); ++from) {
    if (text[from] == u'\r' && from + 1 < text.size() && text[from + 1] == u'\n') continue;
    text[to++] = text[from];
  }
  text.resize(to);
  return text;
}

std::u16string Utf16LittleEndian(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

}  // namespace

std::optional<std::u16string> DecodeListText(std::string_view bytes) {
  if (bytes.starts_with("\xFE\xFF")) return std::nullopt;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return JoinLineEnds(text::Utf16FromUtf8(bytes.substr(3), text::InvalidUtf8::kReplace));
  }
  if (bytes.starts_with("\xFF\xFE")) bytes.remove_prefix(2);
  return JoinLineEnds(Utf16LittleEndian(bytes));
}

bool ListLines::Next(std::u16string_view& line) {
  while (!rest_.empty()) {
    const size_t feed = rest_.find(u'\n');
    const size_t length = feed == std::u16string_view::npos ? rest_.size() : feed + 1;
    const std::u16string_view candidate = rest_.substr(0, length);
    rest_.remove_prefix(length);
    if (candidate.size() <= kMaxLineLength && candidate.find(u'\0') == std::u16string_view::npos) {
      line = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace kestrune::harlune
