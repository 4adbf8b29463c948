// Times Sabrel against `md5sum -c` on one generated, page-cached set in the same run.
//
//   sabrel_bench [--files N] [--total-mib M] [--rounds R] [--dir PARENT] [--keep]
//
// Builds N files of together M MiB (sizes spread log-uniformly, so a few large files
// dominate as in a recovery set) in a new folder below PARENT, writes the list twice (the
// wizard's UTF-16LE list for Sabrel, md5sum's own format for md5sum), reads every file once
// so both tools find it in the page cache, then runs both tools R times in alternating
// order and prints each time, the medians and their ratio.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "sabrel/digest_text.h"
#include "sabrel/md5.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kestrune::sabrel::DigestToHex;
using kestrune::sabrel::Md5;

struct Settings {
  int files = 400;
  std::uint64_t totalMib = 1536;
  int rounds = 5;
  fs::path parent = fs::temp_directory_path();
  bool keep = false;
};

struct SetFile {
  std::string relative;  // with '/'
  std::uint64_t size = 0;
  std::string digest;
};

/// xorshift64*: fast, deterministic content that no compressor or dedup can shortcut.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
  }
};

bool ParseSettings(int argc, char** argv, Settings& settings) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--files" && hasValue) {
      settings.files = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--total-mib" && hasValue) {
      settings.totalMib = std::max<std::uint64_t>(1, std::strtoull(argv[++i], nullptr, 10));
    } else if (arg == "--rounds" && hasValue) {
      settings.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--dir" && hasValue) {
      settings.parent = argv[++i];
    } else if (arg == "--keep") {
      settings.keep = true;
    } else {
      std::cerr << "usage: sabrel_bench [--files N] [--total-mib M] [--rounds R] [--dir PARENT] "
                   "[--keep]\n";
      return false;
    }
  }
  return true;
}

std::vector<SetFile> PlanSet(const Settings& settings) {
  Random random{0x5AB3E1ULL};
  std::vector<double> weights;
  double sum = 0;
  for (int i = 0; i < settings.files; ++i) {
    // Log-uniform between 1 and 1000: many small files and a few twenty times the mean.
    const double u = static_cast<double>(random.Next() >> 11) / 9007199254740992.0;
    weights.push_back(std::exp(u * std::log(1000.0)));
    sum += weights.back();
  }
  const double total = static_cast<double>(settings.totalMib) * 1048576.0;
  std::vector<SetFile> files;
  for (int i = 0; i < settings.files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "dir%02d/file%04d.bin", i % 16, i);
    files.push_back({name, static_cast<std::uint64_t>(weights[i] / sum * total), {}});
  }
  return files;
}

bool WriteSet(const fs::path& root, std::vector<SetFile>& files) {
  Random random{0xC0FFEEULL};
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  Md5 md5;
  for (SetFile& file : files) {
    const fs::path path = root / file.relative;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    if (!md5.Begin()) return false;
    for (std::uint64_t left = file.size; left > 0;) {
      for (std::uint64_t& word : block) word = random.Next();
      const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, 1 << 20));
      const auto bytes = std::as_bytes(std::span(block)).first(chunk);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(chunk));
      if (!md5.Update(bytes)) return false;
      left -= chunk;
    }
    const auto digest = md5.Finish();
    if (!digest) return false;
    file.digest = DigestToHex(*digest);
    if (!out) return false;
  }
  return true;
}

void WriteLists(const fs::path& work, const std::vector<SetFile>& files) {
  std::ofstream sabrelList(work / "DISC1_MD5.txt", std::ios::binary);
  std::ofstream md5sumList(work / "md5sum.list", std::ios::binary);
  sabrelList.write("\xFF\xFE", 2);
  for (const SetFile& file : files) {
    std::string line = file.digest + " " + file.relative + "\r\n";
    std::replace(line.begin(), line.end(), '/', '\\');
    for (const char c : line) {
      const char unit[2] = {c, '\0'};
      sabrelList.write(unit, 2);
    }
    md5sumList << file.digest << "  " << file.relative << '\n';
  }
}

void Warm(const fs::path& root, const std::vector<SetFile>& files) {
  std::vector<char> buffer(1 << 20);
  for (const SetFile& file : files) {
    std::ifstream in(root / file.relative, std::ios::binary);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
  }
}

/// Runs a program in `folder` with its output discarded; returns seconds, or -1 when it
/// could not run or exited non-zero (a failed check would make any time meaningless).
double TimeRun(const std::vector<std::string>& command, const fs::path& folder) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> copy = command;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return elapsed.count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) return 2;

  std::string pattern = (settings.parent / "sabrel-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path base = pattern;
  const fs::path drive = base / "drive";
  const fs::path work = base / "work";
  fs::create_directories(drive);
  fs::create_directories(work);

  std::vector<SetFile> files = PlanSet(settings);
  std::uint64_t bytes = 0;
  for (const SetFile& file : files) bytes += file.size;
  std::printf("set: %zu files, %.1f MiB in %s (largest %.1f MiB)\n", files.size(),
              static_cast<double>(bytes) / 1048576.0, drive.c_str(),
              static_cast<double>(std::max_element(files.begin(), files.end(),
                                                   [](auto& a, auto& b) { return a.size < b.size; })
                                      ->size) /
                  1048576.0);
  std::printf("cores: %u\n", std::thread::hardware_concurrency());
  if (!WriteSet(drive, files)) {
    std::fprintf(stderr, "cannot write the set\n");
    return 1;
  }
  WriteLists(work, files);
  Warm(drive, files);

  const std::vector<std::string> md5sum = {"md5sum", "-c", "--quiet",
                                           (work / "md5sum.list").string()};
  const std::vector<std::string> sabrel = {SABREL_PROGRAM, "-c", "DISC1_MD5.txt", "-d",
                                           drive.string(), "-e", "error.txt"};
  std::vector<double> md5sumTimes;
  std::vector<double> sabrelTimes;
  bool ok = true;
  for (int round = 0; round < settings.rounds && ok; ++round) {
    // Alternating order, so that neither tool always runs right after the other's reads.
    const bool sabrelFirst = round % 2 == 1;
    const double first = sabrelFirst ? TimeRun(sabrel, work) : TimeRun(md5sum, drive);
    const double second = sabrelFirst ? TimeRun(md5sum, drive) : TimeRun(sabrel, work);
    const double tSabrel = sabrelFirst ? first : second;
    const double tMd5sum = sabrelFirst ? second : first;
    std::printf("round %d: md5sum -c %.3f s, sabrel %.3f s, ratio %.2f\n", round + 1, tMd5sum,
                tSabrel, tSabrel / tMd5sum);
    ok = tSabrel > 0 && tMd5sum > 0;
    md5sumTimes.push_back(tMd5sum);
    sabrelTimes.push_back(tSabrel);
  }
  if (ok) {
    const double m = Median(md5sumTimes);
    const double s = Median(sabrelTimes);
    std::printf("median: md5sum -c %.3f s (%.0f MiB/s), sabrel %.3f s (%.0f MiB/s), ratio %.2f\n",
                m, static_cast<double>(bytes) / 1048576.0 / m, s,
                static_cast<double>(bytes) / 1048576.0 / s, s / m);
  } else {
    std::fprintf(stderr, "a tool failed its check or could not run\n");
  }
  if (!settings.keep) {
    std::error_code ignored;
    fs::remove_all(base, ignored);
  } else {
    std::printf("kept: %s\n", base.c_str());
  }
  return ok ? 0 : 1;
}
