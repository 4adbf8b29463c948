#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::platform {

/// Who a process is: its id together with the moment it started, since an id is given again
/// to a later process once its owner has ended (and after every restart).
struct ProcessIdentity {
  uint32_t id = 0;
  /// When the process started, in the platform's own units, the same for every look at one
  /// process (Windows: its creation time as a FILETIME; Linux: clock ticks since the start of
  /// the system, with a digest of the boot's identity above bit 40). 0 when unknown.
  uint64_t startTime = 0;

  bool operator==(const ProcessIdentity& other) const {
    return id == other.id && startTime == other.startTime;
  }
};

/// The machine's lock on the journals, held for as long as the object lives.
class JournalLock {
 public:
  virtual ~JournalLock() = default;
};

/// The machine-wide place where each run of the program notes what it has changed that
/// outlives it (the repair journals), so that a later start can undo what a run that died
/// left behind. Only the administrators and the system can change it (Windows: a folder below
/// the program data folder with the program's own access list; Linux: a folder of mode 0700
/// below the simulated machine's program data folder): a journal names registry values to
/// write and folders to remove, so a place that anyone else could write would hand them the
/// administrator's rights. When the place is missing it is made; when one is there that is not
/// the program's own (a link, or owned by someone else) the store is unusable: nothing is
/// kept and nothing is repaired.
///
/// Journal names are made of letters, digits, '-' and '.' only; every operation refuses
/// other names.
class RepairJournalStore {
 public:
  virtual ~RepairJournalStore() = default;

  /// This process.
  [[nodiscard]] virtual ProcessIdentity Self() = 0;
  /// Whether `process` still runs: a process with its id that started at another time is
  /// another process. When the system cannot tell (the process exists but may not be
  /// looked at) it counts as running, so that nothing of a live run is undone.
  [[nodiscard]] virtual bool IsRunning(const ProcessIdentity& process) = 0;

  /// Waits for the machine-wide lock on the journals and holds it for as long as the result
  /// lives; the system releases it when its process dies. Null when the store is unusable.
  [[nodiscard]] virtual std::unique_ptr<JournalLock> Lock() = 0;

  /// The names of the journals kept (without the files a write leaves while it replaces one).
  [[nodiscard]] virtual std::vector<std::string> List() = 0;
  /// The contents of journal `name`; false when it is gone or cannot be read.
  [[nodiscard]] virtual bool Read(const std::string& name, std::string& contents) = 0;
  /// Creates or replaces journal `name` with `contents` in a way that a power cut cannot tear:
  /// afterwards it holds the old contents or the new, never a mix, and the new are on the disk
  /// when this returns true.
  [[nodiscard]] virtual bool Write(const std::string& name, const std::string& contents) = 0;
  /// Removes journal `name`; true when it is gone (also when it was not there).
  [[nodiscard]] virtual bool Remove(const std::string& name) = 0;
};

}  // namespace kestrune::platform
