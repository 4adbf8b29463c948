#include "verify/tree_comparer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "app/work_folder.h"
#include "platform/read_only_file.h"

namespace kestrune {
namespace {

using platform::FolderListing;
using platform::PathKind;

constexpr uint64_t kBlock = 512;
constexpr size_t kAlignment = 4096;

uint64_t CeilBlocks(uint64_t bytes) { return (bytes + kBlock - 1) / kBlock; }

uint32_t ListingResult(FolderListing listing) {
  return listing == FolderListing::kMissing ? COMPARE_MISSING : COMPARE_OPEN_FAILED;
}

// Index of the first 512-byte block in which the two buffers differ, or `length` / 512
// rounded up when the first `length` bytes are equal.
uint64_t FirstDifferentBlock(const unsigned char* a, const unsigned char* b, uint64_t length) {
  if (std::memcmp(a, b, length) == 0) return CeilBlocks(length);
  for (uint64_t offset = 0;; offset += kBlock) {
    if (std::memcmp(a + offset, b + offset, std::min(kBlock, length - offset)) != 0) {
      return offset / kBlock;
    }
  }
}

}  // namespace

struct TreeComparer::Buffers {
  explicit Buffers(size_t size)
      : reference(static_cast<unsigned char*>(::operator new(size, std::align_val_t(kAlignment)))),
        medium(static_cast<unsigned char*>(::operator new(size, std::align_val_t(kAlignment)))) {}
  ~Buffers() {
    ::operator delete(reference, std::align_val_t(kAlignment));
    ::operator delete(medium, std::align_val_t(kAlignment));
  }
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;

  unsigned char* reference;
  unsigned char* medium;
};

TreeComparer::TreeComparer(CompareProgress& progress, platform::WindowPort& windows,
                           platform::StandardOutput& output, size_t chunkBytes,
                           platform::FolderReader& folders)
    : progress_(progress),
      windows_(windows),
      output_(output),
      folders_(folders),
      chunkBytes_(std::max<size_t>(kBlock, chunkBytes / kBlock * kBlock)),
      buffers_(std::make_unique<Buffers>(chunkBytes_)) {}

TreeComparer::~TreeComparer() = default;

uint32_t TreeComparer::CompareTrees(const std::wstring& referenceRoot,
                                    const std::wstring& mediumRoot, uint64_t totalBytes) {
  filesCompared_ = 0;
  bytesCompared_ = 0;
  mediumRoot_ = mediumRoot;
  firstDifference_.clear();
  if (totalBytes != 0) {
    progress_.blockCount = std::max<uint64_t>(totalBytes >> 9, 1);
    progress_.enabled = 1;
  }
  Post(1, progress_.current);
  const uint32_t result = CompareFolder(referenceRoot, mediumRoot);
  Post(3, progress_.current);
  progress_.enabled = 0;
  progress_.blockCount = 0;
  progress_.blocksDone = 0;
  progress_.current = 0;
  progress_.lastPosted = 0;
  return result;
}

uint32_t TreeComparer::CompareFolder(const std::wstring& referenceFolder,
                                     const std::wstring& mediumFolder) {
  // Depth first, in listing order, with the folders still to finish on a stack of their own:
  // a tree as deep as the longest path allows never runs the thread out of stack, and no
  // folder is held open while its sub-folders are compared.
  struct Level {
    std::wstring reference, medium;
    std::vector<platform::FolderEntry> entries;
    size_t next = 0;
  };
  std::vector<Level> levels;
  const auto enter = [&](const std::wstring& reference, const std::wstring& medium) {
    Level level{reference, medium, {}, 0};
    const uint32_t result = ListFolderPair(reference, medium, level.entries);
    if (result == COMPARE_EQUAL) levels.push_back(std::move(level));
    return result;
  };

  if (const uint32_t result = enter(referenceFolder, mediumFolder); result != COMPARE_EQUAL) {
    NoteDifference(mediumFolder);
    return result;
  }
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.entries.size()) {
      levels.pop_back();
      continue;
    }
    const platform::FolderEntry& entry = level.entries[level.next++];
    const std::wstring reference = JoinPath(level.reference, entry.name);
    const std::wstring medium = JoinPath(level.medium, entry.name);
    const bool isFolder = entry.kind == PathKind::kFolder;
    // Neither `level` nor `entry` is used from here on: entering a folder may move them.
    const uint32_t result = isFolder ? enter(reference, medium) : CompareFiles(reference, medium);
    if (result != COMPARE_EQUAL) {
      NoteDifference(medium);
      return result;
    }
  }
  return COMPARE_EQUAL;
}

void TreeComparer::NoteDifference(const std::wstring& mediumPath) {
  if (!firstDifference_.empty()) return;
  std::wstring relative = mediumPath;
  if (!mediumRoot_.empty() && relative.compare(0, mediumRoot_.size(), mediumRoot_) == 0) {
    relative.erase(0, mediumRoot_.size());
  }
  const size_t start = relative.find_first_not_of(L"\\/");
  relative = start == std::wstring::npos ? L"." : relative.substr(start);
  firstDifference_ = relative;
}

uint32_t TreeComparer::ListFolderPair(const std::wstring& referenceFolder,
                                      const std::wstring& mediumFolder,
                                      std::vector<platform::FolderEntry>& entries) {
  const FolderListing reference = folders_.List(referenceFolder, entries);
  if (reference != FolderListing::kComplete) return ListingResult(reference);
  switch (folders_.Kind(mediumFolder)) {
    case PathKind::kFolder:
      break;
    case PathKind::kUnreadable:
      return COMPARE_OPEN_FAILED;
    default:  // nothing there, or a file or link in the folder's place
      return COMPARE_MISSING;
  }
  // The medium's own entries are not needed (extra ones are allowed), but a folder the
  // system cannot list to its end is not a folder this comparison can vouch for.
  std::vector<platform::FolderEntry> mediumEntries;
  const FolderListing medium = folders_.List(mediumFolder, mediumEntries);
  return medium == FolderListing::kComplete ? COMPARE_EQUAL : ListingResult(medium);
}

uint32_t TreeComparer::CompareFiles(const std::wstring& referenceFile,
                                    const std::wstring& mediumFile) {
  ++filesCompared_;
  const PathKind referenceKind = folders_.Kind(referenceFile);
  const PathKind mediumKind = folders_.Kind(mediumFile);
  if (referenceKind == PathKind::kMissing || mediumKind == PathKind::kMissing)
    return COMPARE_MISSING;
  // A link is never compared through: what it points to is not what was unpacked or written.
  if (referenceKind == PathKind::kLink || mediumKind == PathKind::kLink) return COMPARE_DIFFERENT;
  std::string failure;
  auto reference = platform::ReadOnlyFile::Open(referenceFile, failure);
  if (!reference) {
    ReportOpenFailure(failure);
    return COMPARE_OPEN_FAILED;
  }
  auto medium = platform::ReadOnlyFile::Open(mediumFile, failure);
  if (!medium) {
    ReportOpenFailure(failure);
    return COMPARE_OPEN_FAILED;
  }

  while (true) {
    const int64_t referenceBytes = reference->ReadFull(buffers_->reference, chunkBytes_);
    const int64_t mediumBytes = medium->ReadFull(buffers_->medium, chunkBytes_);
    // A read that fails is never taken for equal data.
    if (referenceBytes < 0 || mediumBytes < 0) return COMPARE_DIFFERENT;

    const auto common = static_cast<uint64_t>(std::min(referenceBytes, mediumBytes));
    bytesCompared_ += common;
    const uint64_t equalPasses = FirstDifferentBlock(buffers_->reference, buffers_->medium, common);
    if (referenceBytes != mediumBytes) {
      // The 512-byte reader sees different counts in the pass holding the shorter file's end.
      AdvanceProgress(std::min(equalPasses, common / kBlock));
      return COMPARE_DIFFERENT;
    }
    if (equalPasses < CeilBlocks(common)) {
      AdvanceProgress(equalPasses);
      return COMPARE_DIFFERENT;
    }
    AdvanceProgress(equalPasses);
    if (common < chunkBytes_) {
      AdvanceProgress(1);  // the final pass, in which both reads return nothing
      return COMPARE_EQUAL;
    }
  }
}

void TreeComparer::AdvanceProgress(uint64_t steps) {
  if (!progress_.enabled || steps == 0) return;
  const uint64_t target = progress_.blocksDone + steps;
  const uint64_t blockCount = progress_.blockCount;
  while (true) {
    // The first pass whose value reaches lastPosted + 2 posts: value(b) = b * 1000 / blockCount.
    uint64_t next = ((progress_.lastPosted + 2) * blockCount + 999) / 1000;
    next = std::max(next, progress_.blocksDone + 1);
    if (next > target) break;
    progress_.blocksDone = next;
    progress_.current = next * 1000 / blockCount;
    progress_.lastPosted = progress_.current;
    Post(2, progress_.current);
  }
  progress_.blocksDone = target;
  progress_.current = target * 1000 / blockCount;
}

void TreeComparer::Post(uintptr_t phase, uint64_t value) {
  const WindowHandle window = progress_.progressWindow;
  if (window == nullptr || !windows_.IsWindow(window)) return;
  // Progress is advisory: a post that fails because the window just closed is lost.
  static_cast<void>(windows_.Post(window, WM_COMPARE_PROGRESS, phase,
                                  static_cast<intptr_t>(static_cast<uint32_t>(value))));
}

void TreeComparer::ReportOpenFailure(const std::string& description) {
  constexpr size_t kWidth = 1024;
  std::string text = description.substr(0, kWidth);
  // Never end inside a UTF-8 sequence.
  if (text.size() < description.size()) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
      text.pop_back();
    if (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0xC0) text.pop_back();
  }
  output_.Write("Couldn't open source file: " + std::string(kWidth - text.size(), ' ') + text);
}

}  // namespace kestrune
