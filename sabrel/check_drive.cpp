#include "sabrel/check_drive.h"

#include <algorithm>
#include <map>

#include "sabrel/digest_text.h"
#include "sabrel/drive_lookup.h"
#include "sabrel/list_file.h"
#include "sabrel/md5_list.h"
#include "sabrel/parallel_digest.h"

namespace kestrune::sabrel {
namespace {

constexpr std::size_t kNoJob = static_cast<std::size_t>(-1);

Failure EntryFailure(ExitCode kind, const ListEntry& entry, std::string_view finding) {
  return {kind, entry.pathText,
          "expected " + DigestToHex(entry.digest) + ", " + std::string(finding)};
}

Failure DigestFailure(const ListEntry& entry, const FileDigest& result) {
  switch (result.outcome) {
    case DigestOutcome::kDone:
      return EntryFailure(ExitCode::kMismatch, entry, "found " + DigestToHex(result.digest));
    case DigestOutcome::kMissing:
      return EntryFailure(ExitCode::kMissing, entry, "not found");
    case DigestOutcome::kDenied:
      return EntryFailure(ExitCode::kUnreadable, entry, "unreadable: access denied");
    case DigestOutcome::kNotRegular:
      return EntryFailure(ExitCode::kUnreadable, entry, "unreadable: not a regular file");
    case DigestOutcome::kReadError:
      return EntryFailure(
          ExitCode::kUnreadable, entry,
          "unreadable: read error (system error " + std::to_string(result.systemError) + ")");
    case DigestOutcome::kNotRun:
    case DigestOutcome::kHashFailed:
      break;
  }
  return EntryFailure(ExitCode::kInternalError, entry, "not checked: MD5 computation failed");
}

Failure LookupFailure(const ListEntry& entry, LookupOutcome outcome) {
  switch (outcome) {
    case LookupOutcome::kAmbiguous:
      return EntryFailure(ExitCode::kMissing, entry,
                          "not found: several names differ from it only in letter case");
    case LookupOutcome::kOutsideDrive:
      return EntryFailure(ExitCode::kUnreadable, entry,
                          "refused: a link on the drive leads outside it");
    case LookupOutcome::kMissing:
    case LookupOutcome::kFound:
      break;
  }
  return EntryFailure(ExitCode::kMissing, entry, "not found");
}

/// Reads and parses the list; on any problem the result already holds the failures.
Md5List LoadList(const CheckRequest& request, CheckResult& result) {
  const ListFileContent content = ReadListFile(request.listPath);
  if (!content.problem.empty()) {
    result.failures.push_back({ExitCode::kBadList, request.listName, content.problem});
    return {};
  }
  Md5List list = ParseMd5List(content.bytes);
  for (const ListProblem& problem : list.problems) {
    result.failures.push_back({ExitCode::kBadList,
                               request.listName + " line " + std::to_string(problem.line),
                               "malformed (" + problem.reason + "): \"" + problem.text + "\""});
  }
  if (list.problems.empty() && list.entries.empty()) {
    result.failures.push_back({ExitCode::kBadList, request.listName, "the list names no files"});
  }
  return list;
}

}  // namespace

CheckResult CheckDrive(const CheckRequest& request) {
  CheckResult result;
  const Md5List list = LoadList(request, result);
  result.listedFiles = list.entries.size();
  if (!result.failures.empty()) {
    result.code = ExitCode::kBadList;
    return result;
  }

  const DriveLookup lookup(request.driveRoot);
  if (!lookup.RootExists()) {
    result.failures.push_back(
        {ExitCode::kMissing, {}, "the drive " + request.driveName + " does not exist"});
  }
  std::vector<LookupOutcome> outcomes;
  std::vector<std::size_t> jobOfEntry;
  std::vector<DigestJob> jobs;
  std::map<std::filesystem::path, std::size_t> jobOfPath;
  for (const ListEntry& entry : list.entries) {
    Located located = lookup.Find(entry.components);
    outcomes.push_back(located.outcome);
    if (located.outcome != LookupOutcome::kFound) {
      jobOfEntry.push_back(kNoJob);
      continue;
    }
    const auto [it, added] = jobOfPath.try_emplace(located.path, jobs.size());
    if (added) {
      jobs.push_back({std::move(located.path), located.size});
    }
    jobOfEntry.push_back(it->second);
  }

  std::atomic<std::uint64_t>* bytesRead = nullptr;
  if (request.counters != nullptr) {
    std::uint64_t total = 0;
    for (const DigestJob& job : jobs) total += job.size;
    request.counters->bytesTotal = total;
    request.counters->listedFiles = list.entries.size();
    bytesRead = &request.counters->bytesDone;
  }
  const unsigned workers =
      request.workerCount != 0 ? request.workerCount : DefaultWorkerCount(jobs.size());
  const std::vector<FileDigest> digests =
      DigestInParallel(jobs, workers, kReadBufferBytes, bytesRead);

  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const ListEntry& entry = list.entries[i];
    if (jobOfEntry[i] == kNoJob) {
      result.failures.push_back(LookupFailure(entry, outcomes[i]));
      continue;
    }
    const FileDigest& digest = digests[jobOfEntry[i]];
    if (digest.outcome != DigestOutcome::kDone || digest.digest != entry.digest) {
      result.failures.push_back(DigestFailure(entry, digest));
    }
  }
  for (const Failure& failure : result.failures) {
    result.code = std::max(result.code, failure.kind);
  }
  return result;
}

}  // namespace kestrune::sabrel
