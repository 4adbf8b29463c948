// libFuzzer target over the reading and splitting of a list. Besides crashes and hangs it
// looks for wrong results: the hand-written patterns must agree with the standard library's
// regular expressions, and every list written must have the promised form.
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "md5lists/digest_table.h"
#include "md5lists/key_patterns.h"
#include "md5lists/list_text.h"
#include "md5lists/md5_list_split.h"

namespace {

using namespace kestrune::harlune;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

void CrossCheckPathField(std::u16string_view field) {
  static const std::wregex pattern(L"Media.\\d\\\\([^\\n]+)\\n");
  const std::wstring wide = Wide(field);
  std::wsmatch match;
  const bool expected = std::regex_match(wide, match, pattern);
  const auto key = MatchPathField(field);
  Require(key.has_value() == expected);
  if (expected) Require(Wide(*key) == match[1].str());
}

void CrossCheckIndexKey(std::u16string_view key) {
  static const std::wregex patterns[] = {std::wregex(L"media\\\\(\\d)_(\\d)_install.txt"),
                                         std::wregex(L"media\\\\(\\d)_(\\d)_data.txt"),
                                         std::wregex(L"media\\\\(\\d)_(\\d).txt")};
  static const IndexKind kinds[] = {IndexKind::kInstall, IndexKind::kData, IndexKind::kPlain};
  const std::wstring wide = Wide(key);
  for (int i = 0; i < 3; ++i) {
    std::wsmatch match;
    const bool expected = std::regex_match(wide, match, patterns[i]);
    const auto count = MatchIndexKey(key, kinds[i]);
    Require(count.has_value() == expected);
    if (expected) Require(*count == match[1].str()[0] - L'0');
  }
}

// The second field of every line, as the digest table reads it.
void CrossCheckLines(std::u16string_view text) {
  ListLines lines(text);
  std::u16string_view line;
  while (lines.Next(line)) {
    Require(line.size() <= kMaxLineLength);
    const size_t first = line.find(u' ');
    if (first == std::u16string_view::npos) continue;
    const size_t second = line.find(u' ', first + 1);
    const size_t end = second == std::u16string_view::npos ? line.size() : second;
    const std::u16string_view field = line.substr(first + 1, end - first - 1);
    CrossCheckPathField(field);
    if (const auto key = MatchPathField(field)) CrossCheckIndexKey(*key);
  }
}

// A written list: the mark, then "digest key" lines ending in CR LF, no key twice.
void CheckListFile(const std::string& bytes) {
  Require(bytes.size() % 2 == 0 && bytes.compare(0, 2, "\xFF\xFE") == 0);
  std::u16string text;
  for (size_t i = 2; i < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  std::set<std::u16string> keys;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    Require(end != std::u16string::npos);
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    const size_t space = line.find(u' ');
    Require(space != std::u16string_view::npos);
    Require(keys.emplace(line.substr(space + 1)).second);
    start = end + 2;
  }
  Require(keys.count(u"version.doc") == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<std::u16string> text = DecodeListText(bytes);
  if (!text) return 0;
  CrossCheckLines(*text);
  for (const int parts : {kPartsPerSingleLayerDisc, kPartsPerDualLayerDisc, kPartsPerUsbDrive}) {
    const SplitOutcome outcome = SplitMd5List(*text, parts);
    Require((outcome.exitCode == 0) == !outcome.discFiles.empty());
    Require(outcome.exitCode == 0 || outcome.exitCode == 11);
    Require((outcome.exitCode == 0) == outcome.errors.empty());
    for (const std::string& file : outcome.discFiles) CheckListFile(file);
  }
  return 0;
}
