#include "verify/verification_steps.h"

#include <algorithm>
#include <filesystem>

#include "app/carried_tool_files.h"
#include "app/seven_zip_command.h"
#include "app/tool_runner.h"
#include "app/work_folder.h"
#include "engine/job_protocol.h"
#include "engine/power_request.h"
#include "engine/vantor_thread.h"
#include "platform/native_path.h"
#include "verify/tree_comparer.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kRecoveryList[] = L"MD5_OEM_RCV_Partition.txt";
constexpr wchar_t kFirstMediumList[] = L"DISC1_MD5.txt";

fs::file_status LinkStatus(const std::wstring& path) {
  std::error_code error;
  return fs::symlink_status(platform::ToNativePath(path), error);
}

// A file or a link that del removes as one entry. A folder, or a link to one, is never
// handed to del: "del FOLDER" empties the folder.
bool DeletableEntry(const std::wstring& path) {
  const fs::file_status status = LinkStatus(path);
  if (fs::is_regular_file(status)) return true;
  if (!fs::is_symlink(status)) return false;
  std::error_code error;
  return !fs::is_directory(fs::status(platform::ToNativePath(path), error));
}

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

}  // namespace

struct VerificationJobSteps::Place {
  std::wstring workFolder;
  std::wstring mediumRoot;
  std::wstring comparisonFolder;
};

std::vector<std::wstring> Md5CheckFileNames() {
  std::vector<std::wstring> names{kRecoveryList};
  for (int medium = 1; medium <= 9; ++medium) {
    names.push_back(L"DISC" + std::to_wstring(medium) + L"_MD5.txt");
  }
  names.emplace_back(L"error.txt");
  return names;
}

void DeleteFilesByName(CVantorThread& worker, const std::wstring& folder,
                       const std::vector<std::wstring>& names) {
  std::wstring parameters = L"/C del /F /Q";
  bool any = false;
  for (const auto& name : names) {
    if (!DeletableEntry(JoinPath(folder, name))) continue;
    parameters += L" \"" + name + L"\"";
    any = true;
  }
  // What del could not remove is seen by the caller's own checks (the stale list) or merely
  // left behind (the tools are also deleted at the next restart).
  if (any)
    static_cast<void>(worker.RunTool(L"cmd.exe", parameters, folder, nullptr, nullptr, false));
  ForgetDeletedTools(folder);
}

namespace {

// What the USB steps may leave in the work folder: the tools and the MD5 check's files.
void RemoveUsbStepFiles(CVantorThread& worker, const std::wstring& work) {
  std::vector<std::wstring> names = ToolsWrittenInto(work);
  for (auto& name : Md5CheckFileNames()) names.push_back(std::move(name));
  DeleteFilesByName(worker, work, names);
}

}  // namespace

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
  place.mediumRoot = volumes_.DriveRoot(letter);
  place.comparisonFolder = ComparisonFolder(context);
  // Both go into command lines inside quotes.
  return !place.workFolder.empty() && !place.mediumRoot.empty() &&
         place.mediumRoot.find(L'"') == std::wstring::npos;
}

uint32_t VerificationJobSteps::RunDiscCompare(CVantorThread& worker, uint32_t disc) {
  platform::AutoResetEvent* stopEvent = worker.m_pStopEvent;
  if (stopEvent != nullptr && stopEvent->TryConsume()) return RESULT_STOPPED;
  ScopedPowerRequest power(power_);

  const RunContext& context = worker.context();
  Place place;
  const uint32_t discs = std::min(context.sourceCount, kMaxSources);
  if (!Locate(worker, place) || disc < 1 || disc > discs) return RESULT_COMPARE_MISMATCH;

  ExtractTools(worker.tools(), place.workFolder);
  const uint32_t result =
      UnpackAndCompare(worker, place, disc - 1, disc, context.sources[disc - 1].sizeBytes);
  DeleteFilesByName(worker, place.workFolder, ToolsWrittenInto(place.workFolder));
  return result;
}

uint32_t VerificationJobSteps::RunUsbMd5Check(CVantorThread& worker) {
  Place place;
  if (!Locate(worker, place)) return RESULT_CHECK_FAILED;
  const std::wstring& work = place.workFolder;

  // A list from an earlier run must never be checked in place of the new one.
  RemoveUsbStepFiles(worker, work);
  uint32_t result = RESULT_CHECK_FAILED;
  if (!fs::exists(LinkStatus(JoinPath(work, kFirstMediumList)))) {
    ExtractTools(worker.tools(), work);
    int gotExitCode = 0;
    uint32_t exitCode = 0;
    const std::wstring copy =
        L"/C copy /v /y \"" + place.mediumRoot + L"recovery\\oem\\" + kRecoveryList + L"\" .\\";
    bool ran = worker.RunTool(L"cmd.exe", copy, work, &gotExitCode, &exitCode, false);
    if (RunSucceeded(ran, gotExitCode, exitCode)) {
      // A list Harlune rejects (a truncated one, say) must not become a check of fewer files.
      ran = worker.RunTool(L"Harlune.exe", std::wstring(L"USB ") + kRecoveryList, work,
                           &gotExitCode, &exitCode, false);
      if (RunSucceeded(ran, gotExitCode, exitCode)) result = CheckWithSabrel(worker, place);
    }
  }
  RemoveUsbStepFiles(worker, work);
  return result;
}

uint32_t VerificationJobSteps::CheckWithSabrel(CVantorThread& worker, const Place& place) {
  const RunContext& context = worker.context();
  const WindowHandle page = context.writePageWnd;
  if (page != nullptr && windows_.IsWindow(page)) {
    // Never waited for: a page that has just gone away only misses its display change.
    static_cast<void>(windows_.Post(page, WM_CHECK_PROGRESS, 0, kCheckStarting));
  }
  // Only the one list of a USB drive is ever checked.
  if (!fs::is_regular_file(LinkStatus(JoinPath(place.workFolder, kFirstMediumList)))) {
    return RESULT_CHECK_FAILED;
  }
  const std::wstring parameters = std::wstring(L"-c ") + kFirstMediumList + L" -d \"" +
                                  DriveArgument(place.mediumRoot) + L"\" -e error.txt";
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool ran =
      worker.RunTool(L"Sabrel.exe", parameters, place.workFolder, &gotExitCode, &exitCode, true);
  if (RunSucceeded(ran, gotExitCode, exitCode)) return RESULT_OK;
  if (!ran && gotExitCode != 0 && exitCode == kStoppedExitCode) return RESULT_STOPPED;
  return RESULT_CHECK_FAILED;
}

uint32_t VerificationJobSteps::RunUsbCompare(CVantorThread& worker) {
  Place place;
  if (!Locate(worker, place)) return RESULT_COMPARE_MISMATCH;
  const RunContext& context = worker.context();
  const uint32_t sources = std::min(context.sourceCount, kMaxSources);
  uint64_t total = 0;
  for (uint32_t i = 0; i < sources; ++i) total += context.sources[i].sizeBytes;

  const std::wstring& work = place.workFolder;
  RemoveUsbStepFiles(worker, work);
  ExtractTools(worker.tools(), work);
  const uint32_t result = UnpackAndCompare(worker, place, 0, sources, total);
  RemoveUsbStepFiles(worker, work);
  return result;
}

uint32_t VerificationJobSteps::UnpackAndCompare(CVantorThread& worker, const Place& place,
                                                uint32_t first, uint32_t last,
                                                uint64_t totalBytes) {
  const RunContext& context = worker.context();
  // Start from nothing: a leftover tree would be compared too, and a link or file in the
  // folder's place would have 7-Zip unpack through it to wherever it leads.
  bool unpacked = true;
  if (fs::exists(LinkStatus(place.comparisonFolder))) {
    if (fs::is_directory(LinkStatus(place.comparisonFolder))) worker.CleanWorkFolder();
    unpacked = !fs::exists(LinkStatus(place.comparisonFolder));
  }
  for (uint32_t i = first; unpacked && i < last; ++i) {
    unpacked = Unpack(worker, place, context.sources[i].path.str());
  }

  uint32_t result = RESULT_COMPARE_MISMATCH;
  if (unpacked && fs::is_directory(LinkStatus(place.comparisonFolder))) {
    progress_ = CompareProgress{};
    progress_.progressWindow = context.sheetWnd;
    TreeComparer comparer(progress_, windows_, output_);
    const uint32_t compared =
        comparer.CompareTrees(place.comparisonFolder, place.mediumRoot, totalBytes);
    if (compared == COMPARE_EQUAL && comparer.FilesCompared() > 0) result = RESULT_OK;
  }
  worker.CleanWorkFolder();
  return result;
}

bool VerificationJobSteps::Unpack(CVantorThread& worker, const Place& place,
                                  const std::wstring& image) {
  // 7-Zip is given the file name alone and looks for it in the work folder: an image in
  // another folder would not be found, or a different file of that name would be unpacked.
  const fs::path native = platform::ToNativePath(image);
  if (!SameFolder(native.parent_path(), platform::ToNativePath(place.workFolder))) return false;
  const std::wstring name = platform::FromNativePath(native.filename());
  if (name.empty() || name.find(L'"') != std::wstring::npos) return false;

  const std::wstring parameters = SevenZipExtractTree(name, L"tempCompareFiles");
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool ran =
      worker.RunTool(kSevenZipProgram, parameters, place.workFolder, &gotExitCode, &exitCode, true);
  return RunSucceeded(ran, gotExitCode, exitCode);
}

}  // namespace kestrune
