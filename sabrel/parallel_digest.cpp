#include "sabrel/parallel_digest.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>

namespace kestrune::sabrel {

unsigned DefaultWorkerCount(std::size_t jobCount) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = std::min<std::size_t>({cores, kMaxWorkers, jobCount});
  return static_cast<unsigned>(std::max<std::size_t>(1, workers));
}

std::vector<FileDigest> DigestInParallel(std::span<const DigestJob> jobs, unsigned workerCount,
                                         std::size_t bufferBytes,
                                         std::atomic<std::uint64_t>* bytesRead) {
  std::vector<FileDigest> results(jobs.size());
  std::vector<std::size_t> order(jobs.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return jobs[a].size > jobs[b].size; });

  // Each result slot is written by the one worker that claimed its index, and read only
  // after every worker has been joined.
  std::atomic<std::size_t> next{0};
  auto work = [&]() noexcept {
    try {
      std::vector<std::byte> buffer(std::max<std::size_t>(bufferBytes, 1));
      Md5 md5;
      if (!md5.Ok()) return;
      for (std::size_t i = next.fetch_add(1); i < order.size(); i = next.fetch_add(1)) {
        results[order[i]] = DigestFile(jobs[order[i]].path, buffer, md5, bytesRead);
      }
    } catch (const std::bad_alloc&) {
      // This worker takes no further job; the others, or the kNotRun results, carry on.
    }
  };

  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < std::max(1u, workerCount); ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  work();
  for (std::thread& helper : helpers) {
    helper.join();
  }
  return results;
}

}  // namespace kestrune::sabrel
