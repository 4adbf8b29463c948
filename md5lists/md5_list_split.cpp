#include "md5lists/md5_list_split.h"

#include <algorithm>

#include "md5lists/digest_table.h"
#include "md5lists/exit_codes.h"
#include "md5lists/part_layout.h"

namespace kestrune::harlune {
namespace {

constexpr std::u16string_view kVersionKey = u"version.doc";

// One medium's own files, in the order they were added, each key once.
class DiscList {
 public:
  void Add(const DigestEntry& entry) {
    const bool present = std::any_of(entries_.begin(), entries_.end(),
                                     [&](const DigestEntry& e) { return e.key == entry.key; });
    if (!present) entries_.push_back(entry);
  }
  const std::vector<DigestEntry>& entries() const { return entries_; }

 private:
  std::vector<DigestEntry> entries_;
};

void AppendUnits(std::u16string_view text, std::string& out) {
  const size_t at = out.size();
  out.resize(at + 2 * text.size());
  char* bytes = out.data() + at;
  for (const char16_t unit : text) {
    *bytes++ = static_cast<char>(unit & 0xFF);
    *bytes++ = static_cast<char>(unit >> 8);
  }
}

void AppendLine(const DigestEntry& entry, std::string& out) {
  AppendUnits(entry.digest, out);
  AppendUnits(u" ", out);
  AppendUnits(entry.key, out);
  AppendUnits(u"\r\n", out);
}

size_t LineBytes(const DigestEntry& entry) {
  return 2 * (entry.digest.size() + entry.key.size() + 3);
}

SplitOutcome Failure(int exitCode, std::u16string errors) {
  SplitOutcome outcome;
  outcome.exitCode = exitCode;
  outcome.errors = std::move(errors);
  return outcome;
}

}  // namespace

SplitOutcome SplitMd5List(std::u16string_view text, int partsPerDisc) {
  std::optional<std::u16string_view> damaged;
  DigestTable table = ReadDigestTable(text, &damaged);
  // Dropping the line would check one file fewer, and nobody would know.
  if (damaged) {
    return Failure(kExitBadFormat,
                   u"No medium folder in the MD5 list line: " + std::u16string(*damaged) + u"\n");
  }

  const std::optional<PartCounts> counts = FindPartCounts(table);
  if (!counts) return Failure(kExitBadFormat, u"Cannot determine total number of WIM/SWMs.\n");
  const int total = counts->total();
  const int media = (total + partsPerDisc - 1) / partsPerDisc;

  const DigestEntry* version = table.Find(kVersionKey);
  if (version == nullptr) return Failure(kExitBadFormat, u"Cannot find version.doc's MD5.\n");

  std::vector<DiscList> discs(media);
  for (int m = 0; m < media; ++m) {
    discs[m].Add(*version);
    for (int slot = 0; slot < partsPerDisc; ++slot) {
      const int part = m * partsPerDisc + slot;
      if (part >= total) break;
      const PartKeys keys = KeysOfPart(*counts, part);
      const DigestEntry* image = table.Find(keys.image);
      const DigestEntry* index = table.Find(keys.index);
      if (image == nullptr || index == nullptr) {
        return Failure(kExitBadFormat,
                       keys.image + u" or " + keys.index + u" are not found in MD5 list.\n");
      }
      discs[m].Add(*image);
      discs[m].Add(*index);
      table.Remove(keys.image);
      table.Remove(keys.index);
    }
  }
  table.Remove(kVersionKey);

  SplitOutcome outcome;
  outcome.discFiles.resize(media);
  for (int m = 0; m < media; ++m) {
    std::string& file = outcome.discFiles[m];
    file = "\xFF\xFE";
    if (m == 0) {
      size_t bytes = file.size();
      table.ForEach([&](const DigestEntry& entry) { bytes += LineBytes(entry); });
      file.reserve(bytes);
      table.ForEach([&](const DigestEntry& entry) { AppendLine(entry, file); });
    }
    for (const DigestEntry& entry : discs[m].entries()) AppendLine(entry, file);
  }
  return outcome;
}

}  // namespace kestrune::harlune
