// usb_verify_bench: the verification of a written USB drive (MD5 check, then comparison with
// a fresh unpacking of the images) against what a person would do with the standard tools,
// on the same files in the same run.
//
//   usb_verify_bench [--size BYTES[M|G]] [--runs N] [--keep DIR]
//
// Makes a sample recovery set of --size (default 2G) in two images, unpacks it onto the USB
// stick F: of a temporary simulated machine (no write pacing), then times alternately
//   ours:      RunUsbMd5Check + RunUsbCompare (Harlune, Sabrel, 7-Zip, the tree comparison,
//              the cmd.exe stand-in, the 200 ms pauses after each carried tool)
//   baseline:  md5sum -c over every listed file of the stick, then 7zz x of each image into a
//              folder and cmp of every unpacked file with its copy on the stick
// and prints the medians, the parts and the ratio. Everything is page-cached after the first
// round; the medians are of the later rounds alike.
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

#include "app/tool_services.h"
#include "app/work_area.h"
#include "engine/job_protocol.h"
#include "engine/vantor_thread.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_file_tree.h"
#include "platform/host/host_power_requests.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_system.h"
#include "platform/host/window_table.h"
#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/sim_restart_cleanup.h"
#include "sim/sim_volume_info.h"
#include "tools/sample_set.h"
#include "verify/verification_steps.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class NullOutput : public kestrune::platform::StandardOutput {
 public:
  void Write(std::string_view) override {}
};

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs a program with its output discarded; false unless it exits with 0.
bool Run(const std::vector<std::string>& arguments, const fs::path& folder = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    freopen("/dev/null", "w", stdout);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ParseSize(const std::string& text, uint64_t& bytes) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  const std::string unit = end;
  const uint64_t factor = unit == "G"    ? 1ull << 30
                          : unit == "M"  ? 1ull << 20
                          : unit.empty() ? 1
                                         : 0;
  bytes = value * factor;
  return end != text.c_str() && factor != 0;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "usb_verify_bench: %s\n", what.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune;
  uint64_t size = 2ull << 30;
  int runs = 3;
  fs::path keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size" && !ParseSize(argv[i + 1], size)) Fail("bad --size");
    if (option == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (option == "--keep") keep = argv[i + 1];
  }
  const fs::path root =
      keep.empty() ? fs::temp_directory_path() / ("usb-verify-bench-" + std::to_string(getpid()))
                   : keep;
  const fs::path bin = platform::host::ProgramFolder();

  // The machine with its stick F:, and the set in its image folder.
  sim::Machine machine(root / "machine");
  std::string error;
  if (!sim::CreateDefaultMachine(machine, &error)) Fail(error);
  machine.Modify([](sim::MachineDescription& d) {
    d.disks[1].writeBytesPerSecond = 0;
    return true;
  });
  ::setenv("KESTRUNE_MACHINE", machine.Folder().c_str(), 1);
  const fs::path stick = machine.VolumeFolder('F');

  tools::SampleSetOptions options;
  options.folder = root / "set";
  options.partBytes = size;
  options.installParts = 4;
  tools::SampleSet set;
  if (fs::exists(options.folder / "disc1.iso")) {
    for (int disc = 1; fs::exists(options.folder / ("disc" + std::to_string(disc) + ".iso"));
         ++disc) {
      set.images.push_back(options.folder / ("disc" + std::to_string(disc) + ".iso"));
    }
  } else if (!tools::MakeSampleSet(options, set, error)) {
    Fail(error);
  }
  for (const auto& image : set.images) {
    if (!Run({(bin / "kestrune-7z").string(), "x", image.string(), "-o" + stick.string(), "-aoa",
              "-r"})) {
      Fail("cannot unpack " + image.string() + " onto the stick");
    }
  }
  // The same files in md5sum's own list form, for the baseline (the recovery list does not
  // name itself).
  const fs::path md5sumList = root / "md5sum.txt";
  if (!Run({"sh", "-c",
            "find . -type f ! -name MD5_OEM_RCV_Partition.txt -print0 | xargs -0 md5sum > '" +
                md5sumList.string() + "'"},
           stick)) {
    Fail("cannot list the stick's digests");
  }

  platform::host::HostProcessLauncher launcher(bin / "kestrune-cmd", machine.SystemFolder());
  platform::host::HostCarriedTools carried(bin / "tools");
  platform::host::HostSystemInfo systemInfo(machine.SystemFolder());
  sim::SimRestartCleanup restartCleanup(machine);
  platform::host::HostClock clock;
  platform::host::HostFileTree files;
  platform::host::HostPrivateFolders privateFolders(machine.ProgramDataFolder() / "Kestrune");
  ToolServices tools{launcher, carried, systemInfo, restartCleanup, clock, files, privateFolders};
  RunContext context;
  RunWorkArea workArea(tools, context);
  uint64_t total = 0;
  for (const auto& image : set.images) {
    SourceEntry& entry = context.sources[context.sourceCount++];
    entry.path.Assign(platform::FromNativePath(image));
    entry.sizeBytes = fs::file_size(image);
    total += entry.sizeBytes;
  }
  context.targetDriveLetter = L'F';
  platform::host::WindowTable windows;
  context.sheetWnd = windows.Create();
  context.writePageWnd = windows.Create();
  sim::SimVolumeInfo volumes(machine);
  platform::host::RecordingPowerRequests power;
  NullOutput output;
  VerificationJobSteps steps(volumes, windows, power, output);
  CVantorThread worker(context, tools);

  std::vector<double> oursMd5, oursCompare, ours, md5sum, unpackCmp, baseline;
  const fs::path reference = root / "reference";
  for (int run = 0; run < runs; ++run) {
    auto start = Clock::now();
    if (steps.RunUsbMd5Check(worker) != RESULT_OK) Fail("the MD5 check failed");
    oursMd5.push_back(Seconds(start));
    auto middle = Clock::now();
    if (steps.RunUsbCompare(worker) != RESULT_OK) Fail("the comparison failed");
    oursCompare.push_back(Seconds(middle));
    ours.push_back(Seconds(start));
    windows.TakeAll(context.sheetWnd);
    windows.TakeAll(context.writePageWnd);

    start = Clock::now();
    if (!Run({"md5sum", "--quiet", "-c", md5sumList.string()}, stick)) Fail("md5sum -c failed");
    md5sum.push_back(Seconds(start));
    middle = Clock::now();
    for (const auto& image : set.images) {
      if (!Run({"7zz", "x", image.string(), "-o" + reference.string(), "-aoa", "-r"}))
        Fail("7zz x failed");
    }
    for (const auto& entry : fs::recursive_directory_iterator(reference)) {
      if (!entry.is_regular_file()) continue;
      if (!Run({"cmp", "-s", entry.path().string(),
                (stick / fs::relative(entry.path(), reference)).string()}))
        Fail("cmp found a difference");
    }
    fs::remove_all(reference);
    unpackCmp.push_back(Seconds(middle));
    baseline.push_back(Seconds(start));
  }

  const double mib = static_cast<double>(total) / (1 << 20);
  std::printf("set: %zu images, %.0f MiB, on the simulated stick F:, page-cached, %d runs\n",
              set.images.size(), mib, runs);
  std::printf("ours:     %.2f s  (MD5 check %.2f s, comparison %.2f s)\n", Median(ours),
              Median(oursMd5), Median(oursCompare));
  std::printf("baseline: %.2f s  (md5sum -c %.2f s, 7zz x + cmp %.2f s)\n", Median(baseline),
              Median(md5sum), Median(unpackCmp));
  std::printf("ratio ours / baseline: %.2f (goal: at most 0.80)\n",
              Median(ours) / Median(baseline));
  std::printf("parts: MD5 check / md5sum -c %.2f, comparison / (7zz x + cmp) %.2f\n",
              Median(oursMd5) / Median(md5sum), Median(oursCompare) / Median(unpackCmp));
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
