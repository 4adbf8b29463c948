#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "sabrel/md5.h"

namespace kestrune::sabrel {

enum class DigestOutcome {
  kNotRun,  ///< no worker reached the file (resources ran out)
  kDone,
  kMissing,     ///< vanished between lookup and open
  kDenied,      ///< the system refused to open it
  kNotRegular,  ///< a folder, device, pipe or socket: never read, so it cannot block
  kReadError,   ///< opening or reading failed otherwise (`systemError` tells the cause)
  kHashFailed,  ///< the MD5 library failed
};

struct FileDigest {
  DigestOutcome outcome = DigestOutcome::kNotRun;
  Md5Digest digest{};
  unsigned long systemError = 0;  ///< errno on Linux, GetLastError() on Windows
};

/// Reads a regular file from start to end in reads of `buffer.size()` bytes, hinting the
/// system that the access is sequential, and digests it with `md5`. Every read is added to
/// `bytesRead` when one is given, as it happens.
[[nodiscard]] FileDigest DigestFile(const std::filesystem::path& path, std::span<std::byte> buffer,
                                    Md5& md5, std::atomic<std::uint64_t>* bytesRead = nullptr);

}  // namespace kestrune::sabrel
