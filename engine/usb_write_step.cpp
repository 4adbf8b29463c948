#include "engine/usb_write_step.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/carried_tool_files.h"
#include "app/seven_zip_command.h"
#include "app/tool_runner.h"
#include "app/work_folder.h"
#include "devices/usb_disks.h"
#include "engine/job_protocol.h"
#include "engine/usb_diskpart.h"
#include "engine/usb_progress.h"
#include "engine/vantor_thread.h"
#include "platform/native_path.h"
#include "text/ascii_case.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMiB = 1024ull * 1024;
/// diskpart formats FAT32 only up to 32 GB: a larger partition would be made and then fail.
constexpr uint32_t kLargestFat32MB = 32 * 1024;
/// The new partition starts 1 MiB into the disk.
constexpr uint64_t kPartitionOffsetBytes = kMiB;
constexpr uint32_t kWaitSliceMs = 1000;

/// What one run writes, checked before anything is touched.
struct UsbPlan {
  std::wstring workFolder;
  /// The run's private work area: the scripts, diskpart's output and 7-Zip.
  std::wstring workArea;
  std::vector<std::wstring> images;
  uint64_t totalBytes = 0;
  wchar_t letter = 0;
  uint32_t requiredMB = 0;
  std::wstring label;
};

/// The components of a path after resolving what can be resolved, empty ones dropped, so
/// that "F:\" and a volume folder with a trailing separator compare as prefixes.
std::vector<std::wstring> Components(const std::wstring& path) {
  const fs::path native = platform::ToNativePath(path);
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(native, error);
  if (error) resolved = native.lexically_normal();
  std::vector<std::wstring> parts;
  for (const auto& part : resolved) {
    std::wstring text = platform::FromNativePath(part);
    if (!text.empty()) parts.push_back(std::move(text));
  }
  return parts;
}

/// Whether `path` lies in `folder` or below it. Letters compare without regard to case on
/// every platform: a false match only refuses a target, a missed one could wipe the set.
bool IsInside(const std::wstring& path, const std::wstring& folder) {
  const auto inner = Components(path);
  const auto outer = Components(folder);
  if (outer.empty() || outer.size() > inner.size()) return false;
  for (size_t i = 0; i < outer.size(); ++i) {
    if (!text::EqualsIgnoringAsciiCase(outer[i], inner[i])) return false;
  }
  return true;
}

/// True when neither the work folder nor any image lies on a volume with one of `letters`.
bool KeepsClearOf(platform::VolumeInfo& volumes, const UsbPlan& plan,
                  const std::vector<wchar_t>& letters) {
  for (const wchar_t letter : letters) {
    const std::wstring root = volumes.DriveRoot(letter);
    if (IsInside(plan.workFolder, root)) return false;
    for (const auto& image : plan.images) {
      if (IsInside(image, root)) return false;
    }
  }
  return true;
}

bool MakePlan(const RunContext& context, platform::VolumeInfo& volumes, UsbPlan& plan) {
  if (context.sourceCount == 0 || context.sourceCount > kMaxSources) return false;
  plan.letter = context.targetDriveLetter;
  plan.requiredMB = context.requiredMB;
  plan.label = usb::ScriptLabel(context.usbVolumeLabel.view());
  if (!usb::IsScriptLetter(plan.letter)) return false;
  if (plan.requiredMB == 0 || plan.requiredMB > kLargestFat32MB) return false;

  plan.workFolder = WorkFolder(context);
  plan.workArea = context.workArea.str();
  if (plan.workArea.empty()) return false;
  const fs::path workFolder = platform::ToNativePath(plan.workFolder);
  for (uint32_t i = 0; i < context.sourceCount; ++i) {
    const std::wstring image = context.sources[i].path.str();
    const fs::path native = platform::ToNativePath(image);
    std::error_code error;
    // 7-Zip runs in the work folder, as the comparisons do.
    if (image.empty() || !fs::is_regular_file(native, error) ||
        !fs::equivalent(native.parent_path(), workFolder, error) || error) {
      return false;
    }
    plan.images.push_back(image);
    plan.totalBytes += context.sources[i].sizeBytes;
  }
  return KeepsClearOf(volumes, plan, {plan.letter});
}

/// Whether disk `inspection` may be wiped for `plan`. Before the first wipe it must still hold
/// the target letter; before the second (the build script cleans again) it must be the same
/// device as before, found by its instance id.
bool IsSafeTarget(const UsbDiskInspection& disk, const UsbPlan& plan, platform::VolumeInfo& volumes,
                  const std::wstring& expectedDevice) {
  if (!disk.listed || !disk.qualifies || !disk.complete) return false;
  if (disk.sizeBytes < plan.requiredMB * kMiB + kPartitionOffsetBytes) return false;
  if (expectedDevice.empty()) {
    bool holdsLetter = false;
    for (const wchar_t letter : disk.letters) holdsLetter = holdsLetter || letter == plan.letter;
    if (!holdsLetter) return false;
  } else if (disk.pnpDeviceId != expectedDevice) {
    return false;
  }
  const wchar_t system = volumes.SystemDriveLetter();
  if (system == 0) return false;
  for (const wchar_t letter : disk.letters) {
    if (letter == system) return false;
  }
  return KeepsClearOf(volumes, plan, disk.letters);
}

/// The two temporary files of a run, removed when the step ends whatever its outcome: they
/// hold nothing the user needs.
class TemporaryFiles {
 public:
  TemporaryFiles() = default;
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;
  ~TemporaryFiles() { RemoveAll(); }

  void Add(const std::wstring& path) { paths_.push_back(path); }
  void RemoveAll() {
    for (const auto& path : paths_) {
      std::error_code error;
      fs::remove(platform::ToNativePath(path), error);
    }
    paths_.clear();
  }

 private:
  std::vector<std::wstring> paths_;
};

/// Writes `text` as a text file (the platform's line ends), replacing what the file held.
bool WriteScript(const std::wstring& path, const std::string& text) {
  std::ofstream out(platform::ToNativePath(path), std::ios::out | std::ios::trunc);
  if (!out) return false;
  out << text;
  out.close();
  return !out.fail();
}

/// Runs the carried 7-Zip on one image (by its full path, in the work folder), polling once a
/// second for the stop event and the progress.
bool UnpackImage(CVantorThread& worker, platform::VolumeInfo& volumes, const UsbPlan& plan,
                 const std::wstring& image, const std::wstring& driveRoot,
                 usb::ProgressGauge& gauge) {
  auto start = worker.tools().processes.StartHidden(
      JoinPath(plan.workArea, kSevenZipProgram), SevenZipExtractTree(image, driveRoot),
      plan.workFolder);
  if (!start.started || !start.process) return false;
  platform::ChildProcess& child = *start.process;
  while (!child.WaitForExit(kWaitSliceMs)) {
    platform::AutoResetEvent* stop = worker.m_pStopEvent;
    if (stop != nullptr && stop->TryConsume()) {
      child.Terminate(kStoppedExitCode);
      return false;
    }
    platform::VolumeSpace space;
    if (!volumes.GetFreeSpace(driveRoot, space)) continue;
    if (const auto perMille = gauge.Next(space)) {
      worker.PostReport(WM_JOB_END, STEP_USB_WRITE_PROGRESS, static_cast<intptr_t>(*perMille));
    }
  }
  uint32_t exitCode = 0;
  return child.ReadExitCode(exitCode) && exitCode == 0;
}

}  // namespace

uint32_t UsbWriteStep::WriteUsbDrive(CVantorThread& worker) {
  RunContext& context = worker.context();
  UsbPlan plan;
  if (!MakePlan(context, volumes_, plan)) return RESULT_STEP_FAILED;
  context.usbVolumeLabel.Assign(plan.label);

  // Two temporary files in the private work area: the script and diskpart's output. Nobody
  // else can rewrite the script between its write and diskpart's read of it.
  TemporaryFiles temporary;
  std::wstring script, output;
  for (std::wstring* path : {&script, &output}) {
    if (volumes_.CreateTempFile(plan.workArea, L"rec", *path) != 0) return RESULT_STEP_FAILED;
    temporary.Add(*path);
    static_cast<void>(worker.tools().restartCleanup.DeleteAtRestart(*path));
  }
  const std::optional<usb::InterpreterRun> diskpart =
      usb::DiskpartRun(worker.tools().systemInfo.SystemFolder(), script, output);
  if (!diskpart) return RESULT_STEP_FAILED;
  const auto runScript = [&](const std::string& text, int* gotExitCode, uint32_t* exitCode) {
    if (!WriteScript(script, text)) return false;
    const bool ran = worker.RunTool(diskpart->program, diskpart->parameters, plan.workArea,
                                    gotExitCode, exitCode, false);
    return gotExitCode == nullptr || RunSucceeded(ran, *gotExitCode, *exitCode);
  };

  // Look-up: the disk behind the drive letter. Judged by its output alone.
  if (!runScript(usb::LookupScript(plan.letter), nullptr, nullptr)) return RESULT_STEP_FAILED;
  std::ifstream lookupOutput(platform::ToNativePath(output));
  if (!lookupOutput) return RESULT_STEP_FAILED;
  const usb::DiskLookup lookup = usb::ParseDiskLookup(lookupOutput);
  lookupOutput.close();
  if (lookup.outcome != usb::DiskLookup::kFound) return RESULT_STEP_FAILED;

  // Wipe, after reading the disk afresh from the inventory.
  const UsbDiskInspection before = InspectUsbDisk(inventory_, devices_, lookup.disk);
  if (!IsSafeTarget(before, plan, volumes_, {})) return RESULT_STEP_FAILED;
  if (!runScript(usb::WipeScript(lookup.disk), nullptr, nullptr)) return RESULT_STEP_FAILED;

  // Build: the script cleans again, so the disk is checked again: still the same device.
  const UsbDiskInspection wiped = InspectUsbDisk(inventory_, devices_, lookup.disk);
  if (!IsSafeTarget(wiped, plan, volumes_, before.pnpDeviceId)) return RESULT_STEP_FAILED;
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool built =
      runScript(usb::BuildScript(lookup.disk, plan.requiredMB, plan.label, plan.letter),
                &gotExitCode, &exitCode);
  temporary.RemoveAll();
  if (!built) return RESULT_STEP_FAILED;

  // Only 7-Zip: the checks that follow write the tools they run themselves, and each tool
  // written costs a pause.
  ExtractToolFile(worker.tools(), plan.workArea, kSevenZipProgram, tool_resource::kSevenZipExe);
  ExtractToolFile(worker.tools(), plan.workArea, L"7z.dll", tool_resource::kSevenZipDll);
  const std::wstring driveRoot = volumes_.DriveRoot(plan.letter);
  usb::ProgressGauge gauge(plan.totalBytes);
  for (const auto& image : plan.images) {
    if (!UnpackImage(worker, volumes_, plan, image, driveRoot, gauge)) {
      return RESULT_STEP_FAILED;
    }
  }
  return RESULT_OK;
}

}  // namespace kestrune
