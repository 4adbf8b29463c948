#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/read_only_file.h"
#include "platform/standard_output.h"
#include "platform/window_port.h"
#include "verify/compare_progress.h"

namespace kestrune {

/// Compares a freshly unpacked reference tree with the written medium, file by file and byte
/// by byte, and reports progress to the progress window.
///
/// Progress is defined by a reader that takes 512-byte blocks from both files in turn: every
/// pass of that reader is one step, including the final pass in which both files are at their
/// end, so a file of n bytes counts ceil(n / 512) + 1 steps, and a pair that differs counts
/// only the passes before the one that shows the difference. This class reads in large
/// blocks and derives the same steps, so the results and every posted message are those of
/// the 512-byte reader.
///
/// The comparison has no blind spots: whatever of the reference tree cannot be looked at is a
/// mismatch, never a part taken as equal.
/// - A folder of the reference tree that is missing, cannot be opened, or whose listing
///   breaks off part-way: COMPARE_MISSING when it is not there, COMPARE_OPEN_FAILED otherwise.
/// - Its counterpart on the medium the same way: missing, or a file or link in its place, is
///   COMPARE_MISSING; one that cannot be opened or listed to its end is COMPARE_OPEN_FAILED.
///   The medium's listing is only checked, never compared: extra medium entries are allowed.
/// - Links (symbolic links, junctions) are never followed, on either side: a link in the
///   reference tree, or in the place of a reference file on the medium, is COMPARE_DIFFERENT.
/// Paths of any length are compared (see platform::ReadOnlyFile).
class TreeComparer {
 public:
  /// Bytes read from each file at a time; a multiple of 512.
  static constexpr size_t kChunkBytes = size_t{1} << 20;

  /// `folders` looks at and lists both trees: the real file systems unless a test puts
  /// another reader in their place.
  TreeComparer(CompareProgress& progress, platform::WindowPort& windows,
               platform::StandardOutput& output, size_t chunkBytes = kChunkBytes,
               platform::FolderReader& folders = platform::FileSystemFolders());
  ~TreeComparer();
  TreeComparer(const TreeComparer&) = delete;
  TreeComparer& operator=(const TreeComparer&) = delete;

  /// The whole comparison: `totalBytes` is the size that stands for 100 per cent (0: no
  /// phase-2 progress). Posts phase 1, walks the reference tree, posts phase 3 and leaves the
  /// progress idle, whatever the result.
  [[nodiscard]] uint32_t CompareTrees(const std::wstring& referenceRoot,
                                      const std::wstring& mediumRoot, uint64_t totalBytes);

  /// Visits every entry of `referenceFolder` and of its sub-folders, depth first in the order
  /// the file system lists them, until the first non-zero result. Each folder of the pair is
  /// checked as the class comment says before its entries are visited; an empty reference
  /// folder whose counterpart is a folder is equal.
  [[nodiscard]] uint32_t CompareFolder(const std::wstring& referenceFolder,
                                       const std::wstring& mediumFolder);

  /// Compares two files and advances the progress.
  [[nodiscard]] uint32_t CompareFiles(const std::wstring& referenceFile,
                                      const std::wstring& mediumFile);

  /// The file pairs the last CompareTrees looked at. An equal result over no file at all
  /// proves nothing about the medium; the callers count it as a failure.
  uint64_t FilesCompared() const { return filesCompared_; }
  /// The bytes of the reference files the last CompareTrees read and compared.
  uint64_t BytesCompared() const { return bytesCompared_; }
  /// Where the last CompareTrees found its first difference, relative to the medium's root
  /// ("." for the root itself); empty when it found none.
  const std::wstring& FirstDifference() const { return firstDifference_; }

 private:
  struct Buffers;

  void Post(uintptr_t phase, uint64_t value);
  /// Advances the progress by `steps` 512-byte passes, posting as each pass would.
  void AdvanceProgress(uint64_t steps);
  void ReportOpenFailure(const std::string& description);
  void NoteDifference(const std::wstring& mediumPath);
  /// Lists `referenceFolder` into `entries` and checks that `mediumFolder` is a folder that
  /// lists to its end: COMPARE_EQUAL when both hold, else the result of the failure.
  uint32_t ListFolderPair(const std::wstring& referenceFolder, const std::wstring& mediumFolder,
                          std::vector<platform::FolderEntry>& entries);

  CompareProgress& progress_;
  platform::WindowPort& windows_;
  platform::StandardOutput& output_;
  platform::FolderReader& folders_;
  size_t chunkBytes_;
  std::unique_ptr<Buffers> buffers_;
  uint64_t filesCompared_ = 0;
  uint64_t bytesCompared_ = 0;
  std::wstring mediumRoot_;
  std::wstring firstDifference_;
};

}  // namespace kestrune
