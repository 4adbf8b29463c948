#include "md5lists/key_patterns.h"

namespace kestrune::harlune {
namespace {

bool IsLineTerminator(char16_t unit) {
  return unit == u'\n' || unit == u'\r' || unit == u'\u2028' || unit == u'\u2029';
}

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// Matches `text` whole against a pattern of fixed length written with two metacharacters:
// '.' for `.` and '#' for `\d`; every other unit stands for itself. Each '#' value is stored
// in `digits`, in order.
bool MatchFixed(std::u16string_view text, std::u16string_view pattern, int* digits) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t unit = text[i];
    switch (pattern[i]) {
      case u'.':
        if (IsLineTerminator(unit)) return false;
        break;
      case u'#':
        if (!IsDigit(unit)) return false;
        if (digits != nullptr) *digits++ = unit - u'0';
        break;
      default:
        if (unit != pattern[i]) return false;
    }
  }
  return true;
}

constexpr std::u16string_view kMediumFolder = u"Media.#\\";

}  // namespace

bool StartsWithMediumFolder(std::u16string_view field) {
  return field.size() >= kMediumFolder.size() &&
         MatchFixed(field.substr(0, kMediumFolder.size()), kMediumFolder, nullptr);
}

std::optional<std::u16string_view> MatchPathField(std::u16string_view field) {
  // The medium folder, at least one unit for the group, and the closing line feed.
  if (field.size() < kMediumFolder.size() + 2 || field.back() != u'\n') return std::nullopt;
  if (!StartsWithMediumFolder(field)) return std::nullopt;
  const std::u16string_view key =
      field.substr(kMediumFolder.size(), field.size() - kMediumFolder.size() - 1);
  if (key.find(u'\n') != std::u16string_view::npos) return std::nullopt;
  return key;
}

std::optional<int> MatchIndexKey(std::u16string_view key, IndexKind kind) {
  std::u16string_view pattern;
  switch (kind) {
    case IndexKind::kInstall:
      pattern = u"media\\#_#_install.txt";
      break;
    case IndexKind::kData:
      pattern = u"media\\#_#_data.txt";
      break;
    case IndexKind::kPlain:
      pattern = u"media\\#_#.txt";
      break;
  }
  int digits[2] = {};
  if (!MatchFixed(key, pattern, digits)) return std::nullopt;
  return digits[0];
}

}  // namespace kestrune::harlune
