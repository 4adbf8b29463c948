#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "sabrel/file_digest.h"

namespace kestrune::sabrel {

struct DigestJob {
  std::filesystem::path path;
  std::uint64_t size = 0;  ///< only orders the work; the file is read to its real end
};

/// Size of each worker's read buffer; memory use is this times the worker count.
inline constexpr std::size_t kReadBufferBytes = std::size_t{1} << 20;
/// Upper bound on workers, so that a machine with many cores neither spends much memory
/// nor scatters reads over a slow drive.
inline constexpr unsigned kMaxWorkers = 16;

/// One worker per core (`hardware_concurrency`, at most `kMaxWorkers`, never more than
/// there are jobs).
unsigned DefaultWorkerCount(std::size_t jobCount);

/// Digests every job's file with `workerCount` workers (the calling thread is one of them)
/// and returns the results in job order. Workers take the largest files first, so that a
/// set dominated by a few big images does not end with one worker still busy on a big file
/// that it took last. A worker that cannot start, or cannot get its buffer or MD5, takes no
/// job; jobs that no worker reached stay `kNotRun`. Every byte read is added to `bytesRead`
/// when one is given.
std::vector<FileDigest> DigestInParallel(std::span<const DigestJob> jobs, unsigned workerCount,
                                         std::size_t bufferBytes = kReadBufferBytes,
                                         std::atomic<std::uint64_t>* bytesRead = nullptr);

}  // namespace kestrune::sabrel
