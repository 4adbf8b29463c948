#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrune::harlune {

/// One file of the list: its key (path below the root of its medium) and its digest.
struct DigestEntry {
  std::u16string_view key;
  std::u16string_view digest;
};

/// The digests of an input list by key. Keys are compared exactly (case-sensitively). The
/// table remembers input order and walks in it, so that every choice made by walking the
/// table, and the order of the lines written from it, is the same on every platform and
/// library rather than that of a hash map's buckets.
///
/// Keys and digests are views: the text they point into must outlive the table.
class DigestTable {
 public:
  /// Makes room for `entries` entries.
  void Reserve(size_t entries);

  /// Adds `key` unless it is already there: the first line of a key wins.
  void Insert(std::u16string_view key, std::u16string_view digest);

  /// The entry of `key`, or nullptr. The entry stays valid (and its views with it) after
  /// `Remove`.
  const DigestEntry* Find(std::u16string_view key) const;

  /// Takes `key` out of the table; false when it was not there.
  bool Remove(std::u16string_view key);

  /// Calls `visit(entry)` for every entry, in input order; stops at the first call that
  /// returns true and returns that entry, or nullptr.
  template <typename Visit>
  const DigestEntry* FindFirst(Visit visit) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (!removed_[i] && visit(entries_[i])) return &entries_[i];
    }
    return nullptr;
  }

  /// Calls `visit(entry)` for every entry, in input order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    FindFirst([&](const DigestEntry& entry) {
      visit(entry);
      return false;
    });
  }

  size_t size() const { return index_.size(); }

 private:
  std::vector<DigestEntry> entries_;
  std::vector<bool> removed_;
  std::unordered_map<std::u16string_view, size_t> index_;
};

/// The digest table of a decoded list. Each line inside the format is split at every space;
/// the first field is the digest, unchanged and unchecked; the second must be a path field
/// (see `MatchPathField`), or the line adds nothing. A line with fewer than two fields (no
/// space at all) adds nothing either: it holds no path.
///
/// A line whose second field does not even start with its medium folder (see
/// `StartsWithMediumFolder`: "Meida01\boot\bcd", or an empty field) describes a file that
/// the table cannot hold. `damaged`, when given, gets the first such line (without its line
/// feed), so that a damaged list is not taken for a list of fewer files.
DigestTable ReadDigestTable(std::u16string_view text,
                            std::optional<std::u16string_view>* damaged = nullptr);

}  // namespace kestrune::harlune
