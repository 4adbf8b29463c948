// kestrune-sampleset: makes a sample recovery set (disc images, MD5 list, optional
// password-protected package) for tests, the demo and benchmarks. See sample_set.h.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/sample_set.h"

namespace {

const char* kUsage =
    "usage: kestrune-sampleset --out FOLDER [--size BYTES[K|M|G]] [--install-parts N]\n"
    "         [--data-parts N] [--discs N] [--prefix NAME] [--label TEXT] [--seed N]\n"
    "         [--utf8-list] [--password PASSWORD [--archive NAME.7z]]\n"
    "  --size is the bytes of all image parts together (default 3M); the images are\n"
    "  FOLDER/<prefix>1.iso ... with two parts per disc unless --discs says otherwise.\n"
    "  Without --install-parts there are two install parts, or as many as --discs needs.\n";

bool ParseSize(const std::string& text, uint64_t& bytes) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  const std::string unit = end;
  const uint64_t factor = unit.empty()  ? 1
                          : unit == "K" ? 1ull << 10
                          : unit == "M" ? 1ull << 20
                          : unit == "G" ? 1ull << 30
                                        : 0;
  if (factor == 0) return false;
  bytes = value * factor;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  kestrune::tools::SampleSetOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--utf8-list") {
      options.utf8List = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::cerr << kUsage;
      return 2;
    }
    const std::string value = argv[++i];
    bool ok = true;
    if (name == "--out")
      options.folder = value;
    else if (name == "--size")
      ok = ParseSize(value, options.partBytes);
    else if (name == "--install-parts")
      options.installParts = std::atoi(value.c_str());
    else if (name == "--data-parts")
      options.dataParts = std::atoi(value.c_str());
    else if (name == "--discs")
      options.discs = std::atoi(value.c_str());
    else if (name == "--prefix")
      options.imagePrefix = value;
    else if (name == "--label")
      options.label = value;
    else if (name == "--seed")
      options.seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (name == "--password")
      options.archivePassword = value;
    else if (name == "--archive")
      options.archiveName = value;
    else
      ok = false;
    if (!ok) {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (options.folder.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  kestrune::tools::SampleSet set;
  std::string error;
  if (!kestrune::tools::MakeSampleSet(options, set, error)) {
    std::cerr << "kestrune-sampleset: " << error << "\n";
    return 1;
  }
  for (const auto& image : set.images) std::cout << image.string() << "\n";
  if (!set.archive.empty()) std::cout << set.archive.string() << "\n";
  return 0;
}
