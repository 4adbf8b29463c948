#include "sabrel/progress_file.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <system_error>

namespace kestrune::sabrel {
namespace {

constexpr std::chrono::milliseconds kInterval{500};

}  // namespace

ProgressFile::ProgressFile(std::filesystem::path path, const CheckCounters& counters)
    : path_(std::move(path)), counters_(counters) {
  WriteNow();
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread: the file still gets its first and its last figures.
  }
}

ProgressFile::~ProgressFile() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  WriteNow();
}

void ProgressFile::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kInterval, [this] { return stopping_; })) {
    lock.unlock();
    WriteNow();
    lock.lock();
  }
}

void ProgressFile::WriteNow() {
  const std::uint64_t total = counters_.bytesTotal.load();
  // A file that changed size since it was listed can be read past the listed total.
  const std::uint64_t done = std::min(counters_.bytesDone.load(), total);
  std::filesystem::path fresh = path_;
  fresh += ".new";
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out << done << ' ' << total << ' ' << counters_.listedFiles.load() << '\n';
    out.close();
    if (!out) return;
  }
  std::error_code ignored;
  std::filesystem::rename(fresh, path_, ignored);
}

}  // namespace kestrune::sabrel
