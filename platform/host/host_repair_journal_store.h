#pragma once

#include <filesystem>
#include <mutex>

#include "platform/host/unique_fd.h"
#include "platform/repair_journal_store.h"

namespace kestrune::platform::host {

/// The repair journals of the Linux build: files in `folder` (the simulated machine's
/// programdata/Kestrune/journal), which is made with mode 0700 when the lock is first taken
/// (looking at the journals never makes it) and used only when
/// it is a real folder of this user's that nobody else may write. Every operation works
/// relative to the folder opened once, so a link put in the folder's place later is never
/// followed. The lock is an flock on "journal.lock" in it; a journal is replaced by writing a
/// new file, syncing it and renaming it over the old one. Processes are told apart by their id
/// and start time from /proc.
class HostRepairJournalStore : public RepairJournalStore {
 public:
  explicit HostRepairJournalStore(std::filesystem::path folder);

  ProcessIdentity Self() override;
  bool IsRunning(const ProcessIdentity& process) override;
  std::unique_ptr<JournalLock> Lock() override;
  std::vector<std::string> List() override;
  bool Read(const std::string& name, std::string& contents) override;
  bool Write(const std::string& name, const std::string& contents) override;
  bool Remove(const std::string& name) override;

 private:
  /// The folder, opened on first use (and made first when `create`); -1 when there is none
  /// or it is not the program's own.
  int Folder(bool create);

  std::filesystem::path path_;
  std::mutex mutex_;
  UniqueFd folder_;
  bool refused_ = false;
};

/// The identity of process `id` from /proc; id 0 when it does not exist (or is a zombie).
ProcessIdentity HostProcessIdentity(uint32_t id);

}  // namespace kestrune::platform::host
