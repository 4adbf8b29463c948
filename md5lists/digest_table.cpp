#include "md5lists/digest_table.h"

#include <algorithm>

#include "md5lists/key_patterns.h"
#include "md5lists/list_text.h"

namespace kestrune::harlune {

void DigestTable::Reserve(size_t entries) {
  entries_.reserve(entries);
  removed_.reserve(entries);
  index_.reserve(entries);
}

void DigestTable::Insert(std::u16string_view key, std::u16string_view digest) {
  if (index_.try_emplace(key, entries_.size()).second) {
    entries_.push_back({key, digest});
    removed_.push_back(false);
  }
}

const DigestEntry* DigestTable::Find(std::u16string_view key) const {
  const auto found = index_.find(key);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

bool DigestTable::Remove(std::u16string_view key) {
  const auto found = index_.find(key);
  if (found == index_.end()) return false;
  removed_[found->second] = true;
  index_.erase(found);
  return true;
}

DigestTable ReadDigestTable(std::u16string_view text,
                            std::optional<std::u16string_view>* damaged) {
  DigestTable table;
  table.Reserve(static_cast<size_t>(std::count(text.begin(), text.end(), u'\n')) + 1);
  ListLines lines(text);
  std::u16string_view line;
  while (lines.Next(line)) {
    const size_t first = line.find(u' ');
    if (first == std::u16string_view::npos) continue;
    const size_t second = line.find(u' ', first + 1);
    const size_t end = second == std::u16string_view::npos ? line.size() : second;
    const std::u16string_view field = line.substr(first + 1, end - first - 1);
    if (const auto key = MatchPathField(field)) {
      table.Insert(*key, line.substr(0, first));
    } else if (damaged != nullptr && !*damaged && !StartsWithMediumFolder(field)) {
      *damaged = line.back() == u'\n' ? line.substr(0, line.size() - 1) : line;
    }
  }
  return table;
}

}  // namespace kestrune::harlune
