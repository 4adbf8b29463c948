#pragma once

#include "platform/win32/windows_support.h"

#include <memory>
#include <mutex>
#include <string>

#include "platform/repair_journal_store.h"

namespace kestrune::platform::win32 {

/// The journal files in one folder, whoever made it: the store's work once it has checked the
/// folder. The lock is LockFileEx on "journal.lock", which the system releases when the
/// process dies; a journal is replaced by a write-through new file moved over the old one.
/// Names as RepairJournalStore allows them.
class Win32JournalFolder {
 public:
  explicit Win32JournalFolder(std::wstring folder);

  std::unique_ptr<JournalLock> Lock();
  std::vector<std::string> List();
  bool Read(const std::string& name, std::string& contents);
  bool Write(const std::string& name, const std::string& contents);
  bool Remove(const std::string& name);

 private:
  /// The full path of journal `name`; empty for a name that is not allowed.
  std::wstring PathOf(const std::string& name) const;

  std::wstring folder_;
};

/// The repair journals of the Windows build: files in "<program data>\Kestrune\journal", both
/// folders made with the program's own access list (administrators and system only,
/// `PrivateFolderSecurity`) when the lock is first taken, and used only when both are folders
/// of the program's own (`HoldOwnFolder`); they are held open for the object's life so that
/// neither can be renamed or replaced meanwhile; the files are a Win32JournalFolder's.
/// Processes are told apart by their id and creation time.
class Win32RepairJournalStore : public RepairJournalStore {
 public:
  /// `programData` is the folder to work in; empty for the machine's program data folder.
  explicit Win32RepairJournalStore(std::wstring programData = {});

  ProcessIdentity Self() override;
  bool IsRunning(const ProcessIdentity& process) override;
  std::unique_ptr<JournalLock> Lock() override;
  std::vector<std::string> List() override;
  bool Read(const std::string& name, std::string& contents) override;
  bool Write(const std::string& name, const std::string& contents) override;
  bool Remove(const std::string& name) override;

 private:
  /// The journal folder, opened on first use (and made first when `create`); null when there
  /// is none or it is not the program's own.
  Win32JournalFolder* Folder(bool create);

  std::wstring programData_;
  std::mutex mutex_;
  windows::UniqueHandle heldProgramFolder_;
  windows::UniqueHandle heldJournalFolder_;
  std::unique_ptr<Win32JournalFolder> folder_;
  bool refused_ = false;
};

/// The identity of process `id`; id 0 when it does not run (or cannot be looked at).
ProcessIdentity Win32ProcessIdentity(uint32_t id);

}  // namespace kestrune::platform::win32
