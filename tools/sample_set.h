#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::tools {

/// What a sample recovery set looks like. A set is a folder of disc images (ISO 9660 with
/// Joliet and Rock Ridge, made with xorriso, so 7-Zip unpacks them) laid out as a maker's
/// recovery set: the Windows image split into parts (sources\install.wim for one part,
/// sources\install.swm, install2.swm, ... for several; likewise data.wim / data.swm for data
/// parts), an index file per part below media\ ("media\X_Y_install.txt" and
/// "media\X_Y_data.txt" when there are data parts, "media\X_Y.txt" otherwise), version.doc on
/// every disc, a few boot files and the recovery partition's MD5 list
/// recovery\oem\MD5_OEM_RCV_Partition.txt on disc 1. The list names every file of every disc
/// as "<md5> MediaNN\<path>" (NN = disc number, two digits), UTF-16LE with a byte-order mark
/// and CR LF line ends.
struct SampleSetOptions {
  std::filesystem::path folder;             // created if missing
  uint64_t partBytes = 3ull * 1024 * 1024;  // bytes of image parts in all (split evenly)
  int installParts = 0;                     // 1 to 9; 0: as many as the discs need, or 2
  int dataParts = 0;                        // 0 to 9
  int discs = 0;  // 0: two parts per disc, as on dual-layer discs; at most one disc a part
  std::string imagePrefix = "disc";         // images are <prefix>1.iso, <prefix>2.iso, ...
  std::string label = "KESTRUNE";           // volume label stem of the discs
  uint64_t seed = 1;                        // the same seed makes the same files
  bool utf8List = false;                    // UTF-8 with a byte-order mark instead of UTF-16LE
  std::string archivePassword;              // non-empty: also make the Seven-Zip mode's archive
  std::string archiveName = "package.7z";
};

struct SampleSet {
  std::vector<std::filesystem::path> images;  // in disc order
  std::filesystem::path archive;              // empty unless a password was given
  /// Every file of every disc: disc number (from 1), path with backslashes, MD5 in hex.
  struct File {
    int disc;
    std::string path;
    std::string md5;
    uint64_t size;
  };
  std::vector<File> files;
};

/// Makes the set described by `options`. False with a message in `error` when a tool
/// (xorriso, 7zz) fails or a file cannot be written.
bool MakeSampleSet(const SampleSetOptions& options, SampleSet& set, std::string& error);

}  // namespace kestrune::tools
