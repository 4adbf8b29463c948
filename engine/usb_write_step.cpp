#include "engine/usb_write_step.h"

#include <algorithm>
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
#include "engine/usb_preflight.h"
#include "engine/usb_progress.h"
#include "engine/vantor_thread.h"
#include "platform/native_path.h"
#include "text/ascii_case.h"
#include "text/utf8.h"

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

/// Whether disk `inspection` may be wiped for `plan`: a USB disk of an accepted media type,
/// answered about in full, large enough, neither the system drive nor a volume of the set.
bool IsSafeTarget(const UsbDiskInspection& disk, const UsbPlan& plan, platform::VolumeInfo& volumes) {
  if (!disk.listed || !disk.qualifies || !disk.complete) return false;
  if (disk.sizeBytes < plan.requiredMB * kMiB + kPartitionOffsetBytes) return false;
  const wchar_t system = volumes.SystemDriveLetter();
  if (system == 0) return false;
  for (const wchar_t letter : disk.letters) {
    if (letter == system) return false;
  }
  return KeepsClearOf(volumes, plan, disk.letters);
}

bool HoldsLetter(const UsbDiskInspection& disk, wchar_t letter) {
  return std::find(disk.letters.begin(), disk.letters.end(), letter) != disk.letters.end();
}

/// Whether `disk` is the disk the user confirmed: the same device of the same size. Before the
/// wipe it must also hold the target letter and the partitions the Drive page saw.
bool IsConfirmedDisk(const UsbDiskInspection& disk, const UsbTarget& target, wchar_t letter,
                     bool beforeWipe) {
  if (disk.pnpDeviceId.empty() || disk.pnpDeviceId != target.pnpDeviceId.view() ||
      disk.sizeBytes != target.sizeBytes) {
    return false;
  }
  if (!beforeWipe) return true;
  return HoldsLetter(disk, letter) && disk.partitionCount == target.partitionCount;
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
/// second for the stop event and the progress. RESULT_OK, RESULT_STOPPED (7-Zip ended, the
/// stop event taken) or RESULT_STEP_FAILED.
uint32_t UnpackImage(CVantorThread& worker, platform::VolumeInfo& volumes, const UsbPlan& plan,
                     const std::wstring& image, const std::wstring& driveRoot,
                     usb::ProgressGauge& gauge) {
  auto start = worker.tools().processes.StartHidden(
      JoinPath(plan.workArea, kSevenZipProgram), SevenZipExtractTree(image, driveRoot),
      plan.workFolder);
  if (!start.started || !start.process) return RESULT_STEP_FAILED;
  platform::ChildProcess& child = *start.process;
  while (!child.WaitForExit(kWaitSliceMs)) {
    platform::AutoResetEvent* stop = worker.m_pStopEvent;
    if (stop != nullptr && stop->TryConsume()) {
      child.Terminate(kStoppedExitCode);
      return RESULT_STOPPED;
    }
    platform::VolumeSpace space;
    if (!volumes.GetFreeSpace(driveRoot, space)) continue;
    if (const auto perMille = gauge.Next(space)) {
      worker.PostReport(WM_JOB_END, STEP_USB_WRITE_PROGRESS, static_cast<intptr_t>(*perMille));
    }
  }
  uint32_t exitCode = 0;
  return child.ReadExitCode(exitCode) && exitCode == 0 ? RESULT_OK : RESULT_STEP_FAILED;
}

/// The file name of `path`.
std::wstring NameOf(const std::wstring& path) {
  return platform::FromNativePath(platform::ToNativePath(path).filename());
}

/// The name of the volume that holds `folder` for a message: its drive ("C:") where the
/// platform has drives, the folder itself otherwise.
std::wstring VolumeName(const std::wstring& folder) {
  const fs::path native = platform::ToNativePath(folder);
  return native.has_root_name() ? platform::FromNativePath(native.root_name()) : folder;
}

/// Records what the Write page's message says about a job that stopped before the wipe.
uint32_t Refuse(RunContext& context, uint32_t result, const std::wstring& name,
                const std::wstring& place = {}, uint64_t needed = 0, uint64_t available = 0) {
  context.problem.name.AssignTruncated(name);
  context.problem.place.AssignTruncated(place);
  context.problem.needed = needed;
  context.problem.available = available;
  return result;
}

/// Everything that can be checked before the stick is wiped: 7-Zip answers, every image opens,
/// no file is too large for FAT32, the set fits the partition, and the computer's disk has room
/// for the comparison. RESULT_OK to go on.
uint32_t Preflight(CVantorThread& worker, platform::VolumeInfo& volumes, const UsbPlan& plan) {
  RunContext& context = worker.context();
  ExtractToolFile(worker.tools(), plan.workArea, kSevenZipProgram, tool_resource::kSevenZipExe);
  ExtractToolFile(worker.tools(), plan.workArea, L"7z.dll", tool_resource::kSevenZipDll);
  const std::wstring sevenZip = JoinPath(plan.workArea, kSevenZipProgram);
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  bool ran = worker.RunTool(sevenZip, L"i", plan.workFolder, &gotExitCode, &exitCode, true);
  if (!ran && gotExitCode != 0 && exitCode == kStoppedExitCode) return RESULT_STOPPED;
  if (!RunSucceeded(ran, gotExitCode, exitCode)) {
    return Refuse(context, RESULT_USB_TOOLS_FAILED, sevenZip);
  }

  usb::SetListing set;
  for (size_t i = 0; i < plan.images.size(); ++i) {
    const std::wstring& image = plan.images[i];
    const std::wstring listed = JoinPath(plan.workArea, L"list" + std::to_wstring(i + 1) + L".txt");
    ran = worker.RunTool(sevenZip, L"l -slt \"" + image + L"\"", plan.workFolder, &gotExitCode,
                         &exitCode, true, listed);
    if (!ran && gotExitCode != 0 && exitCode == kStoppedExitCode) return RESULT_STOPPED;
    std::ifstream in(platform::ToNativePath(listed), std::ios::binary);
    const usb::ImageListing listing = usb::ParseTechnicalListing(in);
    if (!RunSucceeded(ran, gotExitCode, exitCode) || !listing.opened) {
      return Refuse(context, RESULT_USB_NOT_AN_ARCHIVE, NameOf(image));
    }
    if (listing.largestBytes > usb::kFat32LargestFile) {
      return Refuse(context, RESULT_USB_FILE_TOO_LARGE, text::WideFromUtf8(listing.largestPath),
                    NameOf(image), listing.largestBytes);
    }
    set.files += listing.files;
    set.folders += listing.folders;
    set.fileBytes += listing.fileBytes;
  }

  const uint64_t partition = plan.requiredMB * kMiB;
  const uint64_t needed = usb::Fat32BytesNeeded(set, partition);
  if (needed > partition) {
    return Refuse(context, RESULT_USB_SET_TOO_LARGE, {}, {}, (needed + kMiB - 1) / kMiB,
                  plan.requiredMB);
  }
  if (context.compareAfterWrite != 0) {
    // The comparison unpacks every image into the image folder; what 7-Zip itself needs beside
    // the files, and what other programs write meanwhile, is the margin.
    const uint64_t room = set.fileBytes + std::max<uint64_t>(256 * kMiB, set.fileBytes / 20);
    platform::VolumeSpace space;
    if (!volumes.GetFreeSpace(plan.workFolder, space) || space.freeBytesToCaller < room) {
      constexpr uint64_t kGiB = 1024 * kMiB;
      return Refuse(context, RESULT_WORK_DRIVE_TOO_SMALL, {}, VolumeName(plan.workFolder),
                    (room + kGiB - 1) / kGiB, space.freeBytesToCaller / kGiB);
    }
  }
  return RESULT_OK;
}

}  // namespace

uint32_t UsbWriteStep::WriteUsbDrive(CVantorThread& worker) {
  built_.reset();
  RunContext& context = worker.context();
  UsbPlan plan;
  if (!MakePlan(context, volumes_, plan)) return RESULT_STEP_FAILED;
  context.usbVolumeLabel.Assign(plan.label);
  const UsbTarget& target = context.usbTarget;
  if (target.pnpDeviceId.view().empty()) return RESULT_USB_DRIVE_CHANGED;  // nothing confirmed
  const auto stopAsked = [&] { return worker.StopRequested() || exitRequested_ != 0; };

  // Pre-flight: nothing is wiped before everything that can be checked has passed.
  if (const uint32_t checked = Preflight(worker, volumes_, plan); checked != RESULT_OK) {
    return checked;
  }

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

  // Look-up: the disk behind the drive letter, judged by diskpart's output alone; it must be
  // the disk the user confirmed.
  if (!runScript(usb::LookupScript(plan.letter), nullptr, nullptr)) return RESULT_STEP_FAILED;
  std::ifstream lookupOutput(platform::ToNativePath(output));
  if (!lookupOutput) return RESULT_STEP_FAILED;
  const usb::DiskLookup lookup = usb::ParseDiskLookup(lookupOutput);
  lookupOutput.close();
  if (lookup.outcome != usb::DiskLookup::kFound) return RESULT_STEP_FAILED;
  if (lookup.disk != target.diskNumber) return RESULT_USB_DRIVE_CHANGED;

  // Wipe, after reading the disk afresh from the inventory and a last look for a stop.
  const UsbDiskInspection before = InspectUsbDisk(inventory_, devices_, lookup.disk);
  if (!IsConfirmedDisk(before, target, plan.letter, true)) return RESULT_USB_DRIVE_CHANGED;
  if (!IsSafeTarget(before, plan, volumes_)) return RESULT_STEP_FAILED;
  if (stopAsked()) return RESULT_STOPPED;
  if (!runScript(usb::WipeScript(plan.letter), nullptr, nullptr)) return RESULT_STEP_FAILED;

  // Build: the script selects the disk by its number and cleans it again, so the disk at that
  // number must still be the confirmed device.
  const UsbDiskInspection wiped = InspectUsbDisk(inventory_, devices_, lookup.disk);
  if (!IsConfirmedDisk(wiped, target, plan.letter, false) || !IsSafeTarget(wiped, plan, volumes_)) {
    return RESULT_STEP_FAILED;
  }
  if (stopAsked()) return RESULT_STOPPED;
  built_ = Built{lookup.disk, std::wstring(target.pnpDeviceId.view()), plan.letter};
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool madeIt =
      runScript(usb::BuildScript(lookup.disk, plan.requiredMB, plan.label, plan.letter),
                &gotExitCode, &exitCode);
  temporary.RemoveAll();
  if (!madeIt) return RESULT_STEP_FAILED;

  // 7-Zip writes through the letter, whatever device holds it. Before each image: no stop
  // (one asked for during the build or a short unpacking is seen here), and the letter is
  // still the built stick's, not another device's that took it after the stick was pulled.
  const std::wstring driveRoot = volumes_.DriveRoot(plan.letter);
  usb::ProgressGauge gauge(plan.totalBytes);
  for (const auto& image : plan.images) {
    if (stopAsked()) return RESULT_STOPPED;
    const UsbDiskInspection built = InspectUsbDisk(inventory_, devices_, lookup.disk);
    if (!IsConfirmedDisk(built, target, plan.letter, false) || !HoldsLetter(built, plan.letter)) {
      return RESULT_STEP_FAILED;
    }
    if (const uint32_t unpacked = UnpackImage(worker, volumes_, plan, image, driveRoot, gauge);
        unpacked != RESULT_OK) {
      return unpacked;
    }
  }
  return RESULT_OK;
}

bool UsbWriteStep::MarkIncomplete(CVantorThread& worker) {
  if (!built_) return false;
  const Built built = *built_;
  built_.reset();
  RunContext& context = worker.context();
  const std::wstring workArea = context.workArea.str();
  // Only the device this job built, still at its number.
  const UsbDiskInspection disk = InspectUsbDisk(inventory_, devices_, built.disk);
  if (workArea.empty() || disk.pnpDeviceId.empty() || disk.pnpDeviceId != built.pnpDeviceId) {
    return false;
  }
  TemporaryFiles temporary;
  std::wstring script, output;
  for (std::wstring* path : {&script, &output}) {
    if (volumes_.CreateTempFile(workArea, L"rec", *path) != 0) return false;
    temporary.Add(*path);
  }
  const std::optional<usb::InterpreterRun> diskpart =
      usb::DiskpartRun(worker.tools().systemInfo.SystemFolder(), script, output);
  bool inactive = false;
  if (diskpart && WriteScript(script, usb::MarkIncompleteScript(built.disk))) {
    int gotExitCode = 0;
    uint32_t exitCode = 0;
    const bool ran = worker.RunTool(diskpart->program, diskpart->parameters, workArea,
                                    &gotExitCode, &exitCode, false);
    inactive = RunSucceeded(ran, gotExitCode, exitCode);
  }
  // The label says so to whoever looks at the drive later, whether or not the mark took. It
  // is set through the letter, so only while the letter is this stick's: another device may
  // hold it now (the stick lost it, or never got it).
  const bool labelled = HoldsLetter(disk, built.letter) &&
                        volumes_.LabelVolume(built.letter, L"INCOMPLETE");
  return inactive && labelled;
}

}  // namespace kestrune
