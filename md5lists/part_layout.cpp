#include "md5lists/part_layout.h"

#include "md5lists/key_patterns.h"

namespace kestrune::harlune {
namespace {

std::optional<int> FirstCount(const DigestTable& table, IndexKind kind) {
  std::optional<int> count;
  table.FindFirst([&](const DigestEntry& entry) {
    count = MatchIndexKey(entry.key, kind);
    return count.has_value();
  });
  return count;
}

std::u16string Decimal(int number) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
    number /= 10;
  } while (number > 0);
  return digits;
}

std::u16string ImageKey(std::u16string_view kind, int part, int parts) {
  std::u16string key = u"sources\\";
  key += kind;
  if (parts == 1) return key + u".wim";
  if (part >= 2) key += Decimal(part);
  return key + u".swm";
}

std::u16string IndexKey(int parts, int part, std::u16string_view suffix) {
  return u"media\\" + Decimal(parts) + u"_" + Decimal(part) + std::u16string(suffix);
}

}  // namespace

// The captured X is a single ASCII digit, so reading it as a number cannot fail: the texts
// for a count that cannot be converted never arise.
std::optional<PartCounts> FindPartCounts(const DigestTable& table) {
  PartCounts counts;
  if (const auto install = FirstCount(table, IndexKind::kInstall)) {
    counts.installParts = *install;
    if (const auto data = FirstCount(table, IndexKind::kData)) {
      counts.dataParts = *data;
      counts.hasDataParts = true;
    }
  } else if (const auto plain = FirstCount(table, IndexKind::kPlain)) {
    counts.installParts = *plain;
  }
  if (counts.installParts == 0 || (counts.hasDataParts && counts.dataParts == 0)) {
    return std::nullopt;
  }
  return counts;
}

PartKeys KeysOfPart(const PartCounts& counts, int part) {
  if (counts.hasDataParts && part < counts.dataParts) {
    const int k = part + 1;
    return {ImageKey(u"data", k, counts.dataParts), IndexKey(counts.dataParts, k, u"_data.txt")};
  }
  const int k = part - (counts.hasDataParts ? counts.dataParts : 0) + 1;
  return {ImageKey(u"install", k, counts.installParts),
          IndexKey(counts.installParts, k, counts.hasDataParts ? u"_install.txt" : u".txt")};
}

}  // namespace kestrune::harlune
