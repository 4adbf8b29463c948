#pragma once

// The USB write step on a temporary simulated machine, with the stand-ins for cmd.exe and
// diskpart, the carried 7-Zip and sample images: the fixture of the USB writer's tests.
#include "engine/usb_write_step.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>
#include <thread>

#include "app/test_support.h"
#include "app/work_area.h"
#include "devices/usb_disks.h"
#include "engine/job_protocol.h"
#include "engine/job_test_support.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_process_launcher.h"
#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/sim_ports.h"
#include "sim/sim_test_support.h"
#include "tools/sample_set.h"

namespace kestrune::testing {

namespace fs = std::filesystem;
using sim::MachineDescription;

constexpr uint64_t kMiB = 1024ull * 1024;

inline std::string Md5Of(const fs::path& file) {
  const std::string data = sim::testing::ReadFile(file);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

/// The host launcher, counting 7-Zip's unpackings, whose start can be made to give no process.
class HostLauncherWithFaults : public platform::ProcessLauncher {
 public:
  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& folder) override {
    const bool unpacking =
        platform::ToNativePath(program).filename() == "7z.exe" && parameters.starts_with(L"x ");
    if (unpacking) ++unpackings;
    if (onStart) onStart(program, parameters);
    if (unpacking && sevenZipWithoutProcess) {
      StartResult result;
      result.started = true;
      return result;
    }
    return host.StartHidden(program, parameters, folder);
  }
  StartResult StartHiddenWithOutput(const std::wstring& program, const std::wstring& parameters,
                                    const std::wstring& folder,
                                    const std::wstring& outputFile) override {
    return host.StartHiddenWithOutput(program, parameters, folder, outputFile);
  }

  explicit HostLauncherWithFaults(const fs::path& systemFolder)
      : host(fs::path(KESTRUNE_BIN_DIR) / "kestrune-cmd", systemFolder) {}

  platform::host::HostProcessLauncher host;
  bool sevenZipWithoutProcess = false;
  int unpackings = 0;
  /// Called as each program starts: a test acts at that moment.
  std::function<void(const std::wstring& program, const std::wstring& parameters)> onStart;
};

class UsbWriteStepTest : public ::testing::Test {
 protected:
  UsbWriteStepTest() {
    ::setenv("KESTRUNE_MACHINE", temp.folder().c_str(), 1);
    worker.m_pReportWnd = reinterpret_cast<WindowHandle>(1);
    worker.m_pStopEvent = &stop;
    context.targetDriveLetter = L'F';
    systemInfo.systemFolder = platform::FromNativePath(temp.machine().SystemFolder());
    std::ofstream(temp.machine().VolumeFolder('F') / "old.txt") << "what the stick held";
  }
  ~UsbWriteStepTest() override { ::unsetenv("KESTRUNE_MACHINE"); }

  /// Images in `folder` as the sources, and the size the survey would require for them.
  void UseImages(const std::vector<fs::path>& images) {
    context.sourceCount = static_cast<uint32_t>(images.size());
    uint64_t total = 0;
    for (size_t i = 0; i < images.size(); ++i) {
      context.sources[i].path.Assign(platform::FromNativePath(images[i]));
      context.sources[i].sizeBytes = fs::file_size(images[i]);
      total += context.sources[i].sizeBytes;
    }
    context.requiredMB = static_cast<uint32_t>(total / kMiB + 500);
  }
  /// Two small images in `folder`, for runs that must end before anything is unpacked.
  void UseStandInImages(const fs::path& folder) {
    fs::create_directories(folder);
    for (int disc : {1, 2}) {
      const fs::path image = folder / ("disc" + std::to_string(disc) + ".iso");
      fs::copy_file(sim::testing::SampleImage(disc), image, fs::copy_options::overwrite_existing);
    }
    UseImages({folder / "disc1.iso", folder / "disc2.iso"});
  }
  /// A real sample set of two discs, unpacked by 7-Zip.
  void UseSampleSet() {
    tools::SampleSetOptions options;
    options.folder = work.path() / "set";
    options.partBytes = 6 * kMiB;
    options.installParts = 3;
    options.dataParts = 1;
    std::string error;
    ASSERT_TRUE(tools::MakeSampleSet(options, set, error)) << error;
    UseImages(set.images);
  }
  /// Confirms the USB disk that holds the target letter as the Drive page does (none when no
  /// USB disk is listed with it).
  void Confirm() {
    context.usbTarget = UsbTarget{};
    std::vector<CVantorEnumUSBDetail> disks;
    EnumUSBDisks(ports.diskInventory, ports.deviceTree, disks);
    const std::wstring letter{context.targetDriveLetter, L':'};
    for (const auto& disk : disks) {
      if (std::find(disk.partitions.begin(), disk.partitions.end(), letter) !=
          disk.partitions.end()) {
        ASSERT_TRUE(PinUsbTarget(disk, context.usbTarget));
      }
    }
  }
  /// The step, with the disk holding the target letter confirmed just before (unless a test
  /// confirmed another itself).
  uint32_t Write() {
    if (confirmOnWrite) Confirm();
    return step.WriteUsbDrive(worker);
  }
  bool confirmOnWrite = true;
  std::vector<intptr_t> Progress() {
    std::vector<intptr_t> values;
    const std::string prefix = "end USB_WRITE_PROGRESS ";
    for (const auto& event : timeline.Events()) {
      if (event.rfind(prefix, 0) == 0) values.push_back(std::stol(event.substr(prefix.size())));
    }
    return values;
  }
  /// Everything about the disks that a wipe would change, one line per partition and file.
  std::string Disks() {
    std::ostringstream text;
    for (const auto& disk : temp.Read().disks) {
      text << "disk " << disk.number << " " << disk.partitionStyle << "\n";
      for (const auto& p : disk.partitions) {
        text << "  " << p.offsetBytes << "+" << p.sizeBytes << " " << p.letter << " "
             << p.fileSystem << " " << p.label << (p.active ? " active" : "") << "\n";
      }
    }
    for (const auto& entry : fs::recursive_directory_iterator(temp.folder() / "volumes")) {
      text << fs::relative(entry.path(), temp.folder()).string() << "\n";
    }
    return text.str();
  }
  /// The temporary files ("rec*.tmp") left in `folder` or in the run's work area.
  std::vector<std::string> LeftInWorkFolder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::path& place : {folder, platform::ToNativePath(context.workArea.view())}) {
      for (const auto& entry : fs::directory_iterator(place)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("rec", 0) == 0) names.push_back(name);
      }
    }
    return names;
  }
  fs::path InWorkArea(const std::string& name) {
    return platform::ToNativePath(context.workArea.view()) / name;
  }

  sim::testing::TemporaryMachine temp;
  testing::TempFolder work;
  tools::SampleSet set;
  sim::SimPorts ports{temp.folder()};
  HostLauncherWithFaults launcher{temp.machine().SystemFolder()};
  platform::host::HostCarriedTools carriedTools{fs::path(KESTRUNE_BIN_DIR) / "tools"};
  testing::FakeSystemInfo systemInfo;
  testing::FakeRestartCleanup restartCleanup;
  testing::FakeClock clock;
  testing::TemporaryPrivateFolders privateFolders;
  ToolServices tools{launcher,
                     carriedTools,
                     systemInfo,
                     restartCleanup,
                     clock,
                     privateFolders.files,
                     privateFolders.folders};
  testing::Timeline timeline;
  testing::TimelineWindows windows{timeline};
  platform::host::RecordingPowerRequests power;
  testing::ScriptedSteps unused{timeline, power};
  WorkerServices services = testing::AllSteps(windows, power, unused);
  RunContext context{};
  RunWorkArea workArea{tools, context};
  CVantorThread worker{context, tools, services};
  platform::AutoResetEvent stop;
  std::atomic<uint32_t> exitRequested{0};
  UsbWriteStep step{ports.volumeInfo, ports.diskInventory, ports.deviceTree, exitRequested};
};

// --- Targets that must never be wiped: each refusal leaves every disk as it was. ---

class UsbRefusalTest : public UsbWriteStepTest {
 protected:
  void ExpectRefused(const std::string& why) {
    const std::string before = Disks();
    EXPECT_NE(Write(), RESULT_OK) << why;
    EXPECT_EQ(Disks(), before) << why;
    EXPECT_TRUE(fs::exists(temp.machine().VolumeFolder('F') / "old.txt")) << why;
  }
  uint32_t DiskpartRuns() { return temp.Read().diskpartRuns; }
};

}  // namespace kestrune::testing
