#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::harlune {

/// Parts per medium of each mode.
inline constexpr int kPartsPerSingleLayerDisc = 1;
inline constexpr int kPartsPerDualLayerDisc = 2;
inline constexpr int kPartsPerUsbDrive = 10000;

/// The per-medium lists of one input list, or why there are none.
struct SplitOutcome {
  int exitCode = 0;
  std::u16string errors;
  /// On success, the bytes of DISC1_MD5.txt, DISC2_MD5.txt, ... in order.
  std::vector<std::string> discFiles;
};

/// Splits the decoded list `text` into one list per medium, `partsPerDisc` image parts to a
/// medium. Every failure of the list's content (exit code 11) is found here, before any file
/// is written; a line whose path lost its medium folder is one (see `ReadDigestTable`).
///
/// Each medium's list holds "version.doc" and the image and index files of its parts; the
/// first also holds every other file of the input. A list file is UTF-16LE with the mark
/// FF FE, one "digest key" line per file ending in CR LF, no key twice. The lines of DISC1
/// that belong to no part come first, in input order; each medium's own lines follow, in the
/// order "version.doc", then per part its image file and its index file. The order is thus
/// fixed by the input alone, so every build writes the same bytes.
SplitOutcome SplitMd5List(std::u16string_view text, int partsPerDisc);

}  // namespace kestrune::harlune
