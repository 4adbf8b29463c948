// burn_bench: cost of burning a disc image on the simulated machine with a recorder that is
// never the bottleneck, next to `cp` of the same image, in the same run.
//
//   burn_bench [--size-mib N] [--runs N] [--keep DIR]
//
// Makes a one-disc sample set of about N MiB (default 1024) and a default machine in a
// temporary folder, reads the image once so that it is in the page cache, then alternately
// times the burn step's disc-service part (BurnImage: settings, the sink connected, the write
// with full verification, the written disc's files unpacked under its drive letter) onto a
// fresh blank disc, and `cp` of the image. Prints the medians and their ratio.
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

#include "devices/recorders.h"
#include "engine/disc_burning.h"
#include "platform/host/host_power_requests.h"
#include "platform/host/window_table.h"
#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/machine_actions.h"
#include "sim/sim_disc_service.h"
#include "tools/sample_set.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void ReadAll(const fs::path& file) {
  std::vector<char> buffer(1 << 20);
  std::ifstream in(file, std::ios::binary);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
  }
}

double TimeCp(const fs::path& from, const fs::path& to) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = Seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "cp failed (status %d)\n", status);
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune;
  uint64_t sizeMiB = 1024;
  int runs = 5;
  fs::path keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size-mib")
      sizeMiB = std::max<uint64_t>(1, std::strtoull(argv[i + 1], nullptr, 10));
    else if (option == "--runs")
      runs = std::max(1, std::atoi(argv[i + 1]));
    else if (option == "--keep")
      keep = argv[i + 1];
  }

  const fs::path root =
      keep.empty() ? fs::temp_directory_path() / ("burn-bench-" + std::to_string(getpid())) : keep;
  tools::SampleSetOptions options;
  options.folder = root / "set";
  options.partBytes = sizeMiB << 20;
  options.installParts = 4;
  options.discs = 1;
  const fs::path image = options.folder / "disc1.iso";
  if (!fs::exists(image)) {
    tools::SampleSet set;
    std::string error;
    if (!tools::MakeSampleSet(options, set, error)) {
      std::fprintf(stderr, "cannot make the sample set: %s\n", error.c_str());
      return 1;
    }
  }

  sim::Machine machine(root / "machine");
  std::string error;
  if (!sim::CreateDefaultMachine(machine, &error) ||
      !machine.Modify([](sim::MachineDescription& d) {
        d.recorders[0].writeBytesPerSecond = 1'000'000'000'000;  // never the bottleneck
        d.recorders[0].eventIntervalMs = 1;
        return true;
      })) {
    std::fprintf(stderr, "cannot make the machine: %s\n", error.c_str());
    return 1;
  }
  sim::SimDiscService service(machine);
  ImapiContext imapi;
  platform::HResult hr;
  imapi.master = &service;
  imapi.recorder = service.CreateRecorder(hr);
  imapi.format = service.CreateDataWriter(hr);
  imapi.ready = 1;
  if (!BindRecorder(imapi, L'E', kMediaDvdRDualLayer)) {
    std::fprintf(stderr, "cannot bind the recorder\n");
    return 1;
  }

  RunContext context;
  context.sources[0].path.Assign(platform::FromNativePath(image));
  context.sourceCount = 1;
  platform::host::WindowTable windows;
  context.sheetWnd = windows.Create();
  platform::host::RecordingPowerRequests power;
  CEventDataWriter sink(context, windows);
  imapi.sink = &sink;
  DiscBurningSteps burning(imapi, sink, power);

  ReadAll(image);
  std::vector<double> burns, copies;
  for (int run = 0; run < runs; ++run) {
    sim::InsertDisc(machine, 'E', sim::DiscDescription{});
    const auto start = Clock::now();
    hr = burning.BurnImage(context, 0);
    burns.push_back(Seconds(start));
    if (hr != platform::kS_OK) {
      std::fprintf(stderr, "burn failed: 0x%08X\n", hr);
      return 1;
    }
    windows.TakeAll(context.sheetWnd);
    const fs::path copy = root / "copy.iso";
    copies.push_back(TimeCp(image, copy));
    fs::remove(copy);
  }

  const double burnSeconds = Median(burns);
  const double cpSeconds = Median(copies);
  const double mib = static_cast<double>(fs::file_size(image)) / (1 << 20);
  std::printf("image: %.0f MiB, page-cached, %d runs; recorder unpaced, full verification\n", mib,
              runs);
  std::printf("burn (BurnImage on the simulated machine): median %.3f s, %.0f MiB/s\n", burnSeconds,
              mib / burnSeconds);
  std::printf("cp of the image: median %.3f s, %.0f MiB/s\n", cpSeconds, mib / cpSeconds);
  std::printf("ratio burn / cp: %.2f (goal: at most 1.20)\n", burnSeconds / cpSeconds);
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
