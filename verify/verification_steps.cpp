#include "verify/verification_steps.h"

#include <algorithm>
#include <filesystem>

#include "app/carried_tool_files.h"
#include "app/repair_journal.h"
#include "app/run_report.h"
#include "app/seven_zip_command.h"
#include "app/tool_runner.h"
#include "app/work_folder.h"
#include "engine/job_protocol.h"
#include "engine/power_request.h"
#include "engine/vantor_thread.h"
#include "platform/native_path.h"
#include "text/utf8.h"
#include "verify/tree_comparer.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kRecoveryList[] = L"MD5_OEM_RCV_Partition.txt";
constexpr wchar_t kFirstMediumList[] = L"DISC1_MD5.txt";
/// The MD5 check's own folder inside the work area, made afresh for every check.
constexpr wchar_t kCheckFolder[] = L"md5check";
/// The file Sabrel keeps its progress in, inside the check's folder.
constexpr wchar_t kProgressFile[] = L"progress.txt";

bool SameFolder(const fs::path& a, const fs::path& b) {
  if (a == b) return true;
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// "E:" for "E:\"; the simulated drive's folder without its last separator on Linux. A
// trailing backslash before the closing quote would escape the quote.
std::wstring DriveArgument(std::wstring root) {
  if (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
  return root;
}

/// The first line of a UTF-8 text file (its mark dropped), at most 1000 bytes of it; empty
/// when it cannot be read.
std::wstring FirstLineOf(const std::wstring& path) {
  std::string failure;
  auto file = platform::ReadOnlyFile::Open(path, failure);
  if (!file) return {};
  char bytes[1000];
  const int64_t got = file->ReadFull(bytes, sizeof bytes);
  if (got <= 0) return {};
  std::string_view line(bytes, static_cast<size_t>(got));
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  line = line.substr(0, line.find_first_of("\r\n"));
  return text::WideFromUtf8(line);
}

}  // namespace

struct VerificationJobSteps::Place {
  std::wstring workFolder;
  std::wstring workArea;
  std::wstring mediumRoot;
  std::wstring comparisonFolder;
};

VerificationJobSteps::VerificationJobSteps(platform::VolumeInfo& volumes,
                                           platform::WindowPort& windows,
                                           platform::PowerRequests& power,
                                           platform::StandardOutput& output)
    : volumes_(volumes), windows_(windows), power_(power), output_(output) {}

bool VerificationJobSteps::Locate(CVantorThread& worker, Place& place) {
  const RunContext& context = worker.context();
  wchar_t letter = context.targetDriveLetter;
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  if (letter < L'A' || letter > L'Z') return false;
  place.workFolder = WorkFolder(context);
  place.workArea = context.workArea.str();
  place.mediumRoot = volumes_.DriveRoot(letter);
  place.comparisonFolder = ComparisonFolder(context);
  // They go into command lines inside quotes.
  return !place.workFolder.empty() && !place.workArea.empty() && !place.mediumRoot.empty() &&
         place.mediumRoot.find(L'"') == std::wstring::npos &&
         place.workFolder.find(L'"') == std::wstring::npos;
}

uint32_t VerificationJobSteps::RunDiscCompare(CVantorThread& worker, uint32_t disc) {
  platform::AutoResetEvent* stopEvent = worker.m_pStopEvent;
  if (stopEvent != nullptr && stopEvent->TryConsume()) return RESULT_STOPPED;
  ScopedPowerRequest power(power_);

  const RunContext& context = worker.context();
  Place place;
  const uint32_t discs = std::min(context.sourceCount, kMaxSources);
  if (!Locate(worker, place) || disc < 1 || disc > discs) return RESULT_COMPARE_MISMATCH;

  ExtractTools(worker.tools(), place.workArea);
  return UnpackAndCompare(worker, place, disc - 1, disc, context.sources[disc - 1].sizeBytes);
}

uint32_t VerificationJobSteps::RunUsbMd5Check(CVantorThread& worker) {
  Place place;
  if (!Locate(worker, place)) return RESULT_CHECK_FAILED;
  platform::FileTree& files = worker.tools().files;

  // A fresh folder of the work area for this check: a list from an earlier check can never be
  // checked in place of the new one, and nobody else can change what is read there.
  const std::wstring check = JoinPath(place.workArea, kCheckFolder);
  if (!files.RemoveTree(check) || !files.CreateFolder(check)) return RESULT_CHECK_FAILED;
  ExtractTools(worker.tools(), place.workArea);
  uint32_t result = RESULT_CHECK_FAILED;
  const std::wstring driveList =
      JoinPath(JoinPath(JoinPath(place.mediumRoot, L"recovery"), L"oem"), kRecoveryList);
  if (files.CopyNewFile(driveList, JoinPath(check, kRecoveryList))) {
    int gotExitCode = 0;
    uint32_t exitCode = 0;
    // A list Harlune rejects (a truncated one, say) must not become a check of fewer files.
    const bool ran = worker.RunTool(CarriedToolPath(worker.context(), L"Harlune.exe"),
                                    std::wstring(L"USB ") + kRecoveryList, check, &gotExitCode,
                                    &exitCode, false);
    if (RunSucceeded(ran, gotExitCode, exitCode)) result = CheckWithSabrel(worker, place, check);
  }
  static_cast<void>(files.RemoveTree(check));
  return result;
}

uint32_t VerificationJobSteps::CheckWithSabrel(CVantorThread& worker, const Place& place,
                                               const std::wstring& check) {
  const RunContext& context = worker.context();
  const WindowHandle page = context.writePageWnd;
  if (page != nullptr && windows_.IsWindow(page)) {
    // Never waited for: a page that has just gone away only misses its display change.
    static_cast<void>(windows_.Post(page, WM_CHECK_PROGRESS, 0, kCheckStarting));
  }
  // Only the one list of a USB drive is ever checked.
  if (worker.tools().files.Kind(JoinPath(check, kFirstMediumList)) != platform::EntryKind::kFile) {
    return RESULT_CHECK_FAILED;
  }
  const std::wstring parameters = std::wstring(L"-c ") + kFirstMediumList + L" -d \"" +
                                  DriveArgument(place.mediumRoot) + L"\" -e error.txt -p " +
                                  kProgressFile;
  // Sabrel's progress goes on to the page for its speed and time left.
  const std::wstring progressFile = JoinPath(check, kProgressFile);
  const auto passOnProgress = [&] {
    const auto progress = ReadCheckProgress(progressFile);
    if (progress && progress->bytesTotal != 0 && page != nullptr) {
      const CheckProgressMessage message = ToMessage(*progress);
      static_cast<void>(windows_.Post(page, WM_CHECK_PROGRESS, message.totalKiB, message.doneKiB));
    }
    return progress;
  };
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool ran = worker.RunTool(CarriedToolPath(worker.context(), L"Sabrel.exe"), parameters,
                                  check, &gotExitCode, &exitCode, true, {}, passOnProgress);
  if (ran) {
    // What the check covered, for the report: the files its list names, the bytes it read.
    const auto last = passOnProgress();
    if (last && context.report != nullptr) {
      context.report->NoteCovered(last->files, last->bytesDone);
    }
  }
  if (RunSucceeded(ran, gotExitCode, exitCode)) return RESULT_OK;
  if (!ran && gotExitCode != 0 && exitCode == kStoppedExitCode) return RESULT_STOPPED;
  // Sabrel's first words on what failed, for the report.
  if (context.report != nullptr) {
    const std::wstring said = FirstLineOf(JoinPath(check, L"error.txt"));
    if (!said.empty()) context.report->NoteFirstDifference(said);
  }
  return RESULT_CHECK_FAILED;
}

uint32_t VerificationJobSteps::RunUsbCompare(CVantorThread& worker) {
  Place place;
  if (!Locate(worker, place)) return RESULT_COMPARE_MISMATCH;
  const RunContext& context = worker.context();
  const uint32_t sources = std::min(context.sourceCount, kMaxSources);
  uint64_t total = 0;
  for (uint32_t i = 0; i < sources; ++i) total += context.sources[i].sizeBytes;

  ExtractTools(worker.tools(), place.workArea);
  const uint32_t result = UnpackAndCompare(worker, place, 0, sources, total);
  if (result == RESULT_COMPARE_MISMATCH && unpackFilledDisk_) {
    // Not the stick's fault: the computer's disk filled up while 7-Zip unpacked.
    RunContext& run = worker.context();
    const fs::path folder = platform::ToNativePath(place.workFolder);
    run.problem.place.AssignTruncated(folder.has_root_name()
                                          ? platform::FromNativePath(folder.root_name())
                                          : place.workFolder);
    return RESULT_WORK_DRIVE_FULL;
  }
  return result;
}

uint32_t VerificationJobSteps::UnpackAndCompare(CVantorThread& worker, const Place& place,
                                                uint32_t first, uint32_t last,
                                                uint64_t totalBytes) {
  const RunContext& context = worker.context();
  // Start from nothing: a leftover tree would be compared too. A link or a file in the
  // folder's place is left as it is, and the comparison fails: 7-Zip would unpack through
  // the link to wherever it leads, and the clean-up afterwards must not touch its target.
  unpackFilledDisk_ = false;
  if (!worker.CleanWorkFolder()) return RESULT_COMPARE_MISMATCH;
  // Noted before 7-Zip makes it, so that a start after a power cut removes it.
  if (context.journal != nullptr) context.journal->FolderMade(place.comparisonFolder);
  bool unpacked = true;
  for (uint32_t i = first; unpacked && i < last; ++i) {
    unpacked = Unpack(worker, place, context.sources[i].path.str());
  }
  if (!unpacked) {
    // An unpacking that failed with (next to) no room left on the image folder's disk.
    constexpr uint64_t kNearlyFull = uint64_t{1024} * 1024;
    platform::VolumeSpace space;
    unpackFilledDisk_ = volumes_.GetFreeSpace(place.workFolder, space) &&
                        space.freeBytesToCaller < kNearlyFull;
  }

  uint32_t result = RESULT_COMPARE_MISMATCH;
  if (unpacked && worker.tools().files.Kind(place.comparisonFolder) == platform::EntryKind::kFolder) {
    progress_ = CompareProgress{};
    progress_.progressWindow = context.sheetWnd;
    TreeComparer comparer(progress_, windows_, output_);
    const uint32_t compared =
        comparer.CompareTrees(place.comparisonFolder, place.mediumRoot, totalBytes);
    if (compared == COMPARE_EQUAL && comparer.FilesCompared() > 0) result = RESULT_OK;
    if (context.report != nullptr) {
      context.report->NoteCovered(comparer.FilesCompared(), comparer.BytesCompared());
      if (!comparer.FirstDifference().empty()) {
        context.report->NoteFirstDifference(comparer.FirstDifference());
      }
    }
  }
  worker.CleanWorkFolder();
  return result;
}

bool VerificationJobSteps::Unpack(CVantorThread& worker, const Place& place,
                                  const std::wstring& image) {
  // Every image lies in the work folder, where 7-Zip runs; it is named by its full path.
  const fs::path native = platform::ToNativePath(image);
  if (!SameFolder(native.parent_path(), platform::ToNativePath(place.workFolder))) return false;
  if (image.find(L'"') != std::wstring::npos) return false;

  const std::wstring parameters = SevenZipExtractTree(image, place.comparisonFolder);
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool ran = worker.RunTool(CarriedToolPath(worker.context(), kSevenZipProgram), parameters,
                                  place.workFolder, &gotExitCode, &exitCode, true);
  return RunSucceeded(ran, gotExitCode, exitCode);
}

}  // namespace kestrune
