#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>

namespace kestrune::sabrel {

/// How far the check has got: the bytes read so far, the bytes it will read in all (known
/// once every listed file has been found) and the files the list names. Written by the
/// check, read by the progress file.
struct CheckCounters {
  std::atomic<std::uint64_t> bytesDone{0};
  std::atomic<std::uint64_t> bytesTotal{0};
  std::atomic<std::uint64_t> listedFiles{0};
};

/// Keeps a one-line file "DONE TOTAL FILES\n" (decimal bytes, and the listed files) up to date while the check runs:
/// twice a second, and once more as it ends, so that the program that started the check can
/// show its speed and time left. Every version is written beside the file and renamed over
/// it: a reader finds a whole line, the new one or the one before, never half of one. A file
/// that cannot be written is skipped: progress is a courtesy and never fails a check.
class ProgressFile {
 public:
  ProgressFile(std::filesystem::path path, const CheckCounters& counters);
  /// Writes the last figures and ends the writing thread.
  ~ProgressFile();
  ProgressFile(const ProgressFile&) = delete;
  ProgressFile& operator=(const ProgressFile&) = delete;

 private:
  void Run();
  void WriteNow();

  const std::filesystem::path path_;
  const CheckCounters& counters_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  ///< guarded by mutex_
  std::thread thread_;
};

}  // namespace kestrune::sabrel
