#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace kestrune::usb {

/// What 7-Zip's technical listing of one image ("7z l -slt IMAGE") says it holds.
struct ImageListing {
  bool opened = false;     ///< the listing names an archive type: 7-Zip can unpack it
  uint64_t files = 0;      ///< entries that are files
  uint64_t folders = 0;    ///< entries that are folders
  uint64_t fileBytes = 0;  ///< the files' sizes added up
  uint64_t largestBytes = 0;
  std::string largestPath;  ///< the largest file, as 7-Zip names it (UTF-8)
};

/// Reads a technical listing: the archive's header ("Type = ...") and then one block per
/// entry ("Path = ...", "Folder = +|-", "Size = N"), blocks apart by empty lines. Sizes that
/// do not read as numbers count as 0; the largest file is the first one of the largest size.
ImageListing ParseTechnicalListing(std::istream& listing);

/// Everything the images hold, added up.
struct SetListing {
  uint64_t files = 0;
  uint64_t folders = 0;
  uint64_t fileBytes = 0;
};

/// FAT32 keeps no file of 4 GiB or more.
inline constexpr uint64_t kFat32LargestFile = (1ull << 32) - 1;

/// The bytes that `set` takes on a freshly formatted FAT32 partition of `partitionBytes`: each
/// file and folder rounded up to whole clusters of the size Windows formats such a partition
/// with, the directory entries (a long name takes a few), the two file allocation tables and
/// the reserved sectors. An estimate from above: the set fits when this is at most the
/// partition's size.
uint64_t Fat32BytesNeeded(const SetListing& set, uint64_t partitionBytes);

/// The cluster size Windows formats a FAT32 partition of `partitionBytes` with.
uint64_t Fat32ClusterBytes(uint64_t partitionBytes);

}  // namespace kestrune::usb
