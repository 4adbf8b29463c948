#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/tool_services.h"
#include "platform/host/host_file_tree.h"
#include "platform/downloader.h"
#include "platform/process_setup.h"
#include "platform/repair_journal_store.h"
#include "platform/standard_output.h"
#include "platform/user_registry.h"
#include "test_support/test_files.h"

namespace kestrune::testing {

/// `path` as the core's wide text.
std::wstring Wide(const std::filesystem::path& path);

/// A child that ends after a set number of one-second wait slices (never, if unset).
class FakeChild : public platform::ChildProcess {
 public:
  struct Script {
    std::optional<int> endsAfterWaits;
    bool exitCodeReadable = true;
    uint32_t exitCode = 0;
  };
  struct Record {
    int waits = 0;
    std::optional<uint32_t> terminatedWith;
  };

  FakeChild(Script script, Record& record) : script_(script), record_(record) {}
  bool WaitForExit(uint32_t) override;
  void Terminate(uint32_t exitCode) override { record_.terminatedWith = exitCode; }
  bool ReadExitCode(uint32_t& exitCode) override;

 private:
  Script script_;
  Record& record_;
};

/// Records every start; answers with the scripted outcome.
class FakeLauncher : public platform::ProcessLauncher {
 public:
  struct Call {
    std::wstring program, parameters, folder;
  };
  enum class Outcome { kChild, kCannotStart, kNoProcess };

  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& workingFolder) override;
  /// Records the call as StartHidden does; the output file is left as it is.
  StartResult StartHiddenWithOutput(const std::wstring& program, const std::wstring& parameters,
                                    const std::wstring& workingFolder,
                                    const std::wstring&) override {
    return StartHidden(program, parameters, workingFolder);
  }

  Outcome outcome = Outcome::kChild;
  uint32_t startError = 2;
  FakeChild::Script child;
  FakeChild::Record childRecord;
  std::vector<Call> calls;
};

/// Writes a small file naming the resource id, and records each write.
class FakeCarriedTools : public platform::CarriedTools {
 public:
  bool WriteTool(int resourceId, const std::wstring& targetPath) override;
  std::vector<std::pair<int, std::wstring>> writes;
};

class FakeSystemInfo : public platform::SystemInfo {
 public:
  std::optional<bool> IsWow64Process() override { return wow64; }
  std::wstring SystemFolder() override { return systemFolder; }
  std::optional<bool> wow64 = false;
  std::wstring systemFolder;
};

class FakeRestartCleanup : public platform::RestartCleanup {
 public:
  bool DeleteAtRestart(const std::wstring& path) override;
  std::vector<std::wstring> scheduled;
};

class FakeClock : public platform::Clock {
 public:
  void Pause(uint32_t milliseconds) override { pauses.push_back(milliseconds); }
  std::vector<uint32_t> pauses;
};

class FakeDownloader : public platform::Downloader {
 public:
  bool Start() override { return ++starts, true; }
  int starts = 0;
};

class FakeOutput : public platform::StandardOutput {
 public:
  void Write(std::string_view text) override { written += text; }
  std::string written;
};

class FakeSetup : public platform::ProcessSetup {
 public:
  void Prepare() override { ++prepared; }
  int prepared = 0;
};

/// Repair journals in memory. Processes are told apart as the store says: `self` is this
/// process, `live` the others that run. Taking the lock while it is held fails the test: on
/// a real machine that would wait for ever.
class FakeJournalStore : public platform::RepairJournalStore {
 public:
  platform::ProcessIdentity Self() override { return self; }
  bool IsRunning(const platform::ProcessIdentity& process) override;
  std::unique_ptr<platform::JournalLock> Lock() override;
  std::vector<std::string> List() override;
  bool Read(const std::string& name, std::string& contents) override;
  bool Write(const std::string& name, const std::string& contents) override;
  bool Remove(const std::string& name) override;

  platform::ProcessIdentity self{100, 5000};
  std::vector<platform::ProcessIdentity> live;
  std::map<std::string, std::string> journals;
  /// The lock cannot be had: the store is unusable.
  bool unusable = false;
  /// Writes fail.
  bool failWrites = false;
  bool held = false;
  int locks = 0;
  int writes = 0;
};

/// A machine without users: every registry call finds nothing.
class NoUserRegistry : public platform::UserRegistry {
 public:
  uint32_t EnumerateLoggedOnUsers(std::vector<std::wstring>&, uint32_t&) override { return 0; }
  uint32_t LookupAccountSid(const std::wstring&, std::vector<uint8_t>&) override { return 1332; }
  uint32_t SidToString(const std::vector<uint8_t>&, std::wstring&) override { return 87; }
  bool GetProfileFolder(std::wstring&) override { return false; }
  uint32_t EnableRestorePrivilege(bool) override { return 0; }
  uint32_t LoadHive(const std::wstring&, const std::wstring&) override { return 2; }
  uint32_t UnloadHive(const std::wstring&) override { return 87; }
  uint32_t OpenUserKey(const std::wstring&, const std::wstring&,
                       std::unique_ptr<platform::RegistryKey>&) override {
    return 2;
  }
};

/// The C runtime's time zone set to a POSIX TZ text ("UTC0", "JST-9") while it lives; the
/// one before comes back after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> before_;
};

/// Run folders below a temporary folder of their own, with the real file operations.
struct TemporaryPrivateFolders {
  TempFolder root;
  platform::host::HostFileTree files;
  platform::host::HostPrivateFolders folders{root.path() / "Kestrune"};
  /// The run folders made so far that still exist.
  std::vector<std::filesystem::path> Left() const;
};

/// Every fake, and the tool services made of them. The file operations and the private run
/// folders are the real ones, below a temporary folder.
struct FakePlatform {
  FakeLauncher launcher;
  FakeCarriedTools carriedTools;
  FakeSystemInfo systemInfo;
  FakeRestartCleanup restartCleanup;
  FakeClock clock;
  FakeDownloader downloader;
  FakeOutput output;
  FakeSetup setup;
  FakeJournalStore journals;
  NoUserRegistry users;
  TemporaryPrivateFolders privateFolders;
  ToolServices tools{launcher,       carriedTools,        systemInfo,
                     restartCleanup, clock,               privateFolders.files,
                     privateFolders.folders};
};

}  // namespace kestrune::testing
