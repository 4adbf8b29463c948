// usb_write_bench: the USB write step on a simulated stick without pacing, next to `7zz x` of
// the same images into a plain folder, in the same run.
//
//   usb_write_bench [--size-mib N] [--runs N] [--keep DIR]
//
// Makes a sample recovery set of N MiB of image parts (default 2048, two discs) and a
// simulated machine in a temporary folder (or DIR, reused when it holds a set), then times
// alternately the whole step (three diskpart runs, the carried tools, one 7-Zip run per image
// with its progress polling) and 7zz unpacking every image into an empty folder on the same
// file system, and prints the medians and their ratio.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_runner.h"
#include "app/work_area.h"
#include "engine/job_protocol.h"
#include "engine/usb_write_step.h"
#include "engine/vantor_thread.h"
#include "platform/clock.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_file_tree.h"
#include "platform/host/host_power_requests.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_system.h"
#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/machine_actions.h"
#include "sim/seven_zip.h"
#include "sim/sim_ports.h"
#include "tools/sample_set.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace kestrune;

class CountingWindows : public platform::WindowPort {
 public:
  bool Post(WindowHandle, uint32_t code, uintptr_t wParam, intptr_t) override {
    if (code == WM_JOB_END && wParam == STEP_USB_WRITE_PROGRESS) ++progressPosts;
    return true;
  }
  bool IsWindow(WindowHandle) override { return true; }
  int progressPosts = 0;
};

class NoSteps : public DiscWritingSteps, public UsbWritingStep, public VerificationSteps {
 public:
  uint32_t BurnDisc(CVantorThread&, uint32_t) override { return RESULT_OK; }
  uint32_t RunDiscCompare(CVantorThread&, uint32_t) override { return RESULT_OK; }
  uint32_t WriteUsbDrive(CVantorThread&) override { return RESULT_OK; }
  bool MarkIncomplete(CVantorThread&) override { return false; }
  uint32_t RunUsbMd5Check(CVantorThread&) override { return RESULT_OK; }
  uint32_t RunUsbCompare(CVantorThread&) override { return RESULT_OK; }
  void EjectMedia(CVantorThread&) override {}
};

/// The host clock, adding up the pauses the carried tools take (200 ms after each).
class CountingClock : public platform::Clock {
 public:
  void Pause(uint32_t milliseconds) override {
    paused += milliseconds;
    clock.Pause(milliseconds);
  }
  platform::host::HostClock clock;
  uint64_t paused = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Fail(const std::string& message) {
  std::fprintf(stderr, "usb_write_bench: %s\n", message.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sizeMiB = 2048;
  int runs = 3;
  fs::path keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size-mib") {
      sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    } else if (option == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (option == "--keep") {
      keep = argv[i + 1];
    }
  }
  const fs::path root =
      keep.empty() ? fs::temp_directory_path() / ("usb-write-bench-" + std::to_string(getpid()))
                   : keep;
  const fs::path setFolder = root / "set";
  const fs::path plain = root / "plain";
  const fs::path machineFolder = root / "machine";

  tools::SampleSetOptions options;
  options.folder = setFolder;
  options.partBytes = sizeMiB << 20;
  options.installParts = 3;
  options.dataParts = 1;
  tools::SampleSet set;
  std::string error;
  if (!fs::exists(setFolder / "disc2.iso")) {
    std::printf("making a sample set of %llu MiB...\n", static_cast<unsigned long long>(sizeMiB));
    if (!tools::MakeSampleSet(options, set, error)) Fail(error);
  } else {
    set.images = {setFolder / "disc1.iso", setFolder / "disc2.iso"};
  }

  // A fresh default machine whose stick takes writes as fast as the file system does.
  fs::remove_all(machineFolder);
  sim::Machine machine(machineFolder);
  if (!sim::CreateDefaultMachine(machine, &error)) Fail(error);
  machine.Modify([](sim::MachineDescription& d) {
    d.disks[1].writeBytesPerSecond = 0;
    return true;
  });
  ::setenv("KESTRUNE_MACHINE", machineFolder.c_str(), 1);
  sim::SimPorts ports(machineFolder);

  const fs::path programs = platform::host::ProgramFolder();
  const sim::Machine& machineRef = ports.machine;
  platform::host::HostProcessLauncher launcher(programs / "kestrune-cmd",
                                               machineRef.SystemFolder());
  platform::host::HostCarriedTools carried(programs / "tools");
  platform::host::HostSystemInfo systemInfo(machineRef.SystemFolder());
  CountingClock clock;
  platform::host::HostFileTree files;
  platform::host::HostPrivateFolders privateFolders(machineRef.ProgramDataFolder() / "Kestrune");
  ToolServices tools{launcher, carried, systemInfo,    ports.restartCleanup,
                     clock,    files,   privateFolders};
  CountingWindows windows;
  platform::host::RecordingPowerRequests power;
  NoSteps noSteps;
  WorkerServices services{windows, power, noSteps, noSteps, noSteps};
  RunContext context{};
  uint64_t totalBytes = 0;
  context.sourceCount = static_cast<uint32_t>(set.images.size());
  for (size_t i = 0; i < set.images.size(); ++i) {
    context.sources[i].path.Assign(platform::FromNativePath(set.images[i]));
    context.sources[i].sizeBytes = fs::file_size(set.images[i]);
    totalBytes += context.sources[i].sizeBytes;
  }
  context.requiredMB = static_cast<uint32_t>((totalBytes >> 20) + 500);
  context.targetDriveLetter = L'F';
  CVantorThread worker(context, tools, services);
  worker.m_pReportWnd = reinterpret_cast<WindowHandle>(1);
  const std::atomic<uint32_t> exitRequested{0};
  UsbWriteStep step(ports.volumeInfo, ports.diskInventory, ports.deviceTree, exitRequested);

  std::vector<double> ours, sevenZip, pauses;
  for (int run = 0; run < runs; ++run) {
    // Each run starts as the product does: a fresh work area without carried tools, an empty
    // stick (its files from the last run are removed outside the timing).
    sim::ClearFolder(machine.VolumeFolder('F'));
    ::sync();
    RunWorkArea workArea(tools, context);
    auto start = Clock::now();
    const uint64_t pausedBefore = clock.paused;
    if (step.WriteUsbDrive(worker) != RESULT_OK) Fail("the USB write step failed");
    ::sync();
    ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    pauses.push_back(static_cast<double>(clock.paused - pausedBefore) / 1000);

    fs::remove_all(plain);
    fs::create_directories(plain);
    ::sync();
    start = Clock::now();
    for (const auto& image : set.images) {
      if (sim::RunSevenZip({"x", image.string(), "-o" + plain.string(), "-aoa", "-r"}) != 0) {
        Fail("7zz failed on " + image.string());
      }
    }
    ::sync();
    sevenZip.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }

  for (int run = 0; run < runs; ++run) {
    std::printf("run %d: step %.3f s (tool pauses %.3f s), 7zz %.3f s\n", run + 1, ours[run],
                pauses[run], sevenZip[run]);
  }
  const double oursSeconds = Median(ours);
  const double sevenZipSeconds = Median(sevenZip);
  const double mib = static_cast<double>(totalBytes) / (1 << 20);
  std::printf("images: %zu, %.0f MiB in all; stick without pacing; %d runs\n", set.images.size(),
              mib, runs);
  std::printf("USB write step: median %.3f s (%d progress messages in all runs)\n", oursSeconds,
              windows.progressPosts);
  std::printf("7zz x into a folder: median %.3f s\n", sevenZipSeconds);
  std::printf("ratio step / 7zz: %.3f (goal: at most 1.15)\n", oursSeconds / sevenZipSeconds);
  std::printf("ratio without the carried tools' pauses (%.3f s): %.3f\n", Median(pauses),
              (oursSeconds - Median(pauses)) / sevenZipSeconds);
  ::unsetenv("KESTRUNE_MACHINE");
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
