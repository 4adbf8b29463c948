// compare_bench: throughput of the file tree comparison on a page-cached pair of trees, next
// to GNU cmp on the same large file pair, in the same run.
//
//   compare_bench [--size-mib N] [--runs N] [--chunk-kib N] [--keep DIR]
//
// Builds two identical trees (one large file of N MiB, default 1024, and a few small files)
// in a temporary folder, reads them once so both are in the page cache, then times
// CompareTrees and `cmp` alternately and prints the medians and their ratio.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/window_table.h"
#include "platform/native_path.h"
#include "platform/standard_output.h"
#include "verify/tree_comparer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class NullOutput : public kestrune::platform::StandardOutput {
 public:
  void Write(std::string_view) override {}
};

void WriteData(const fs::path& file, uint64_t bytes, uint64_t seed) {
  std::ofstream out(file, std::ios::binary);
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  uint64_t state = seed | 1;
  for (uint64_t written = 0; written < bytes;) {
    for (auto& word : block) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      word = state;
    }
    const uint64_t size = std::min<uint64_t>(bytes - written, block.size() * sizeof(uint64_t));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
    written += size;
  }
}

void ReadAll(const fs::path& root) {
  std::vector<char> buffer(1 << 20);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double TimeCmp(const fs::path& a, const fs::path& b) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("cmp", "cmp", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "cmp failed (status %d)\n", status);
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sizeMiB = 1024;
  int runs = 5;
  size_t chunkBytes = kestrune::TreeComparer::kChunkBytes;
  fs::path keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size-mib")
      sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    else if (option == "--runs")
      runs = std::max(1, std::atoi(argv[i + 1]));
    else if (option == "--keep")
      keep = argv[i + 1];
    else if (option == "--chunk-kib")
      chunkBytes = std::strtoull(argv[i + 1], nullptr, 10) << 10;
  }

  const fs::path root =
      keep.empty() ? fs::temp_directory_path() / ("compare-bench-" + std::to_string(getpid()))
                   : keep;
  const fs::path reference = root / "reference";
  const fs::path medium = root / "medium";
  const uint64_t bytes = sizeMiB << 20;
  if (!fs::exists(reference / "sources" / "install.swm")) {
    fs::create_directories(reference / "sources");
    fs::create_directories(reference / "media");
    WriteData(reference / "sources" / "install.swm", bytes, 42);
    for (int i = 1; i <= 20; ++i) {
      WriteData(reference / "media" / ("part" + std::to_string(i) + ".txt"), 4096 + i * 37, i);
    }
    fs::remove_all(medium);
    fs::copy(reference, medium, fs::copy_options::recursive);
  }
  ReadAll(reference);
  ReadAll(medium);

  kestrune::platform::host::WindowTable windows;
  NullOutput output;
  kestrune::CompareProgress progress{windows.Create()};
  std::vector<double> ours, cmp;
  uint64_t totalBytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(reference)) {
    if (entry.is_regular_file()) totalBytes += entry.file_size();
  }
  for (int run = 0; run < runs; ++run) {
    kestrune::TreeComparer comparer(progress, windows, output, chunkBytes);
    const auto start = Clock::now();
    const uint32_t result =
        comparer.CompareTrees(kestrune::platform::FromNativePath(reference),
                              kestrune::platform::FromNativePath(medium), totalBytes);
    ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (result != kestrune::COMPARE_EQUAL) {
      std::fprintf(stderr, "comparison failed: %u\n", result);
      return 1;
    }
    windows.TakeAll(progress.progressWindow);
    cmp.push_back(
        TimeCmp(reference / "sources" / "install.swm", medium / "sources" / "install.swm"));
  }

  const double oursSeconds = Median(ours);
  const double cmpSeconds = Median(cmp);
  const double mib = static_cast<double>(totalBytes) / (1 << 20);
  std::printf("trees: %.0f MiB each (one %llu MiB file and 20 small files), page-cached, %d runs\n",
              mib, static_cast<unsigned long long>(sizeMiB), runs);
  std::printf("CompareTrees: median %.3f s, %.0f MiB/s per tree\n", oursSeconds, mib / oursSeconds);
  std::printf("cmp (large pair only): median %.3f s, %.0f MiB/s\n", cmpSeconds,
              static_cast<double>(sizeMiB) / cmpSeconds);
  std::printf("ratio CompareTrees / cmp: %.2f (goal: at most 1.10)\n", oursSeconds / cmpSeconds);
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
