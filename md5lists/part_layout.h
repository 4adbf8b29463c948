#pragma once

#include <optional>
#include <string>

#include "md5lists/digest_table.h"

namespace kestrune::harlune {

/// How many parts the recovery image has, as its index entries say.
struct PartCounts {
  int installParts = 0;  ///< I, 1 to 9
  int dataParts = 0;     ///< D, 0 to 9
  bool hasDataParts = false;

  int total() const { return installParts + dataParts; }
};

/// The part counts from the index entries of `table`; nothing when they cannot be determined
/// (no install count, a count of 0, or data entries that count 0 data parts).
///
/// Where several index entries of one kind give different counts, the first in input order
/// counts: the outcome then depends on the list alone, never on the hash map.
/// Data entries are only looked for once an install entry ("media\X_Y_install.txt") has
/// been found; a list that has plain entries ("media\X_Y.txt") instead has no data parts, and
/// any data entries it holds are ordinary files of the first medium.
[[nodiscard]] std::optional<PartCounts> FindPartCounts(const DigestTable& table);

/// The two files of one image part: the image file and its index file.
struct PartKeys {
  std::u16string image;
  std::u16string index;
};

/// The keys of part `part` (0 to total − 1); data parts come first.
/// A kind with one part has "sources\<kind>.wim"; with several, the first is
/// "sources\<kind>.swm" and part k ≥ 2 is "sources\<kind>k.swm".
PartKeys KeysOfPart(const PartCounts& counts, int part);

}  // namespace kestrune::harlune
