// Lines per second of the MD5 list conversion, for a list of 100,000 lines such as a large
// recovery partition has. "items_per_second" is input lines per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "md5lists/list_text.h"
#include "md5lists/md5_list_conversion.h"
#include "md5lists/md5_list_split.h"

namespace {

using namespace kestrune::harlune;
namespace fs = std::filesystem;

constexpr int kLines = 100000;

// A UTF-16LE list: version.doc, two data and three install parts, and ordinary files in
// nested folders, with 32-digit digests. No path holds a space, so every line is read into
// the table and written to DISC1_MD5.txt: the most work a list of this length can make.
std::string MakeList() {
  std::string text = "\xFF\xFE";
  const auto add = [&](int number, const std::string& path) {
    char digest[33];
    std::snprintf(digest, sizeof digest, "%08x%08x%08x%08x", number * 2654435761u, number, ~number,
                  number * 40503u);
    for (const char c : std::string(digest) + " Media\\1\\" + path + "\r\n") {
      text += c;
      text += '\0';
    }
  };
  add(0, "version.doc");
  const char* parts[] = {"sources\\data.swm",     "media\\2_1_data.txt",
                         "sources\\data2.swm",    "media\\2_2_data.txt",
                         "sources\\install.swm",  "media\\3_1_install.txt",
                         "sources\\install2.swm", "media\\3_2_install.txt",
                         "sources\\install3.swm", "media\\3_3_install.txt"};
  int number = 1;
  for (const char* part : parts) add(number++, part);
  while (number < kLines) {
    add(number, "Windows\\System32\\DriverStore\\Maker\\Tool" + std::to_string(number % 97) +
                    "\\component_" + std::to_string(number) + ".dll");
    ++number;
  }
  return text;
}

const std::string& ListBytes() {
  static const std::string bytes = MakeList();
  return bytes;
}

void BM_SplitInMemory(benchmark::State& state) {
  const std::u16string text = *DecodeListText(ListBytes());
  for (auto _ : state) {
    SplitOutcome outcome = SplitMd5List(text, static_cast<int>(state.range(0)));
    if (outcome.exitCode != 0) {
      state.SkipWithError("split failed");
      break;
    }
    benchmark::DoNotOptimize(outcome.discFiles.data());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SplitInMemory)
    ->Arg(kPartsPerSingleLayerDisc)
    ->Arg(kPartsPerUsbDrive)
    ->Unit(benchmark::kMillisecond);

// The whole program's work: read the list file, decode, split, write the lists.
void BM_ConvertFile(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("harlune-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path list = folder / "MD5_OEM_RCV_Partition.txt";
  std::ofstream(list, std::ios::binary) << ListBytes();
  for (auto _ : state) {
    std::u16string errors;
    if (ConvertMd5List(list, u"list", kPartsPerUsbDrive, errors, folder) != 0) {
      state.SkipWithError("conversion failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ListBytes().size()));
  fs::remove_all(folder);
}
BENCHMARK(BM_ConvertFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
