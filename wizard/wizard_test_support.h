#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "engine/job_test_support.h"
#include "platform/host/host_power_requests.h"
#include "ui/host/host_toolkit.h"
#include "wizard/intro_pages.h"
#include "wizard/page_drive.h"
#include "wizard/page_write.h"
#include "wizard/vantor_sheet.h"
#include "wizard/wizard_context.h"

namespace kestrune::testing {

/// Device answers for the pages, set by each test; every call is counted.
class FakeDevices : public WizardDevices {
 public:
  void EnumRecorders(std::vector<std::wstring>& entries) override;
  void EnumUSBDisks(std::vector<CVantorEnumUSBDetail>& list) override;
  platform::HResult ScanDriveMedia(wchar_t letter, uint32_t* supportedMediaMask,
                                   uint32_t* currentMediaCode) override;
  bool BindRecorder(wchar_t letter, uint32_t mediaCode) override;
  uint32_t CheckInsertedMedia() override;
  bool IsWindows8OrGreater() override { return windows8; }
  bool WorkVolumeFreeSpace(const std::wstring& folder, std::wstring& volumeName,
                           uint64_t& freeBytes) override;

  std::vector<std::wstring> recorders;
  std::vector<CVantorEnumUSBDetail> usbDisks;
  struct Scan {
    platform::HResult result = 0;
    uint32_t mask = 0x800;
    uint32_t mediaCode = 11;
  };
  std::map<wchar_t, Scan> scans;  ///< a letter without an entry answers 0 with 0x800 and 11
  bool bindResult = true;
  /// Verdicts of the polls in order; the last one repeats.
  std::deque<uint32_t> mediaChecks{0};
  bool windows8 = true;
  bool freeSpaceAnswers = true;
  uint64_t freeBytes = 100ull << 30;
  std::wstring volumeName = L"/home";

  /// Runs at each media poll, before its answer.
  std::function<void()> onPoll;

  int recorderListings = 0;
  int scanCalls = 0;
  int mediaPolls = 0;
  int freeSpaceQueries = 0;
  std::vector<std::pair<wchar_t, uint32_t>> binds;
  std::vector<std::wstring> freeSpaceFolders;
};

/// Scripted steps whose burns can be held until the test lets them go.
class GatedSteps : public ScriptedSteps {
 public:
  using ScriptedSteps::ScriptedSteps;
  uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) override;

  /// Burns wait from now on until Open().
  void Close();
  void Open();
  /// True while a burn waits at the gate.
  bool Waiting();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  int waiting_ = 0;
};

/// A users' registry with logged-on users and nothing else.
class FakeUserRegistry : public platform::UserRegistry {
 public:
  uint32_t EnumerateLoggedOnUsers(std::vector<std::wstring>& names, uint32_t& resume) override;
  uint32_t LookupAccountSid(const std::wstring&, std::vector<uint8_t>&) override { return 1332; }
  uint32_t SidToString(const std::vector<uint8_t>&, std::wstring&) override { return 87; }
  bool GetProfileFolder(std::wstring&) override { return false; }
  uint32_t EnableRestorePrivilege(bool) override { return 1300; }
  uint32_t LoadHive(const std::wstring&, const std::wstring&) override { return 1314; }
  uint32_t UnloadHive(const std::wstring&) override { return 87; }
  uint32_t OpenUserKey(const std::wstring&, const std::wstring&,
                       std::unique_ptr<platform::RegistryKey>&) override {
    return 2;
  }

  /// Each answer of the enumeration: the names it returns (all but the last say "more").
  std::vector<std::vector<std::wstring>> batches;
  uint32_t failure = 0;  ///< an error code to answer with instead
  int calls = 0;
};

/// The whole wizard on the host toolkit, driven from the test thread: the real sheet, pages,
/// dialogs and worker (with scripted steps), fake devices, and message boxes answered from
/// a list. Timers jump ahead whenever the worker is idle, so scans take no time.
class WizardHarness : public ui::host::ScreenObserver {
 public:
  explicit WizardHarness(uint32_t discs = 3);
  ~WizardHarness() override;

  /// Constructs the sheet (starting the worker) and its pages, and opens it on the Start page.
  void Open();
  /// Runs the loop until `condition` holds; false after 10 s without it.
  bool PumpUntil(const std::function<bool()>& condition);
  /// Runs what is queued now and what it posts, without waiting for timers.
  void Pump();
  /// Presses Next (or Back) and pumps; the toolkit's refusal, empty when it went.
  std::string Next();
  std::string Back();
  /// Start -> Info -> Drive.
  void GoToDrivePage();
  /// Start -> ... -> Write with recorder E: (discs `selection` ticked, comparison `compare`).
  void GoToWritePage(uint32_t selection, bool compare = false);
  /// Start -> ... -> Write with the USB stick F: (32 GB, removable).
  void GoToWritePageForUsb(bool compare = false);
  /// Runs until the wizard has asked to quit; its exit code (nullopt after 10 s).
  std::optional<int> RunToQuit();
  /// The Write page's window.
  WindowHandle WritePage() const { return toolkit.PageWindowOf(107)->handle; }
  /// The worker's report lines ("burn 1 power=1", "start BURN"...).
  std::vector<std::string> Events() const { return timeline.Events(); }
  int Count(const std::string& event) const;
  /// Chooses the drive entry with `letter` on the Drive page and pumps.
  std::string Choose(wchar_t letter);

  uint32_t ActiveTemplate() const { return toolkit.ActivePageTemplate(); }
  const ui::host::HostWindow& PageWindow(uint32_t templateId) const;
  const ui::host::ControlModel& Control(uint32_t templateId, uint32_t id) const;
  std::vector<std::wstring> Rows(uint32_t templateId, uint32_t id, int column) const;
  bool NextEnabled() const { return (toolkit.WizardButtons() & 2) != 0; }
  /// Ids of the message boxes shown so far.
  std::vector<uint32_t> BoxIds() const;
  /// Whether the sheet has ended, and how.
  bool ended() const { return ended_; }
  intptr_t endCode() const { return endCode_; }
  /// Ends the wizard's loop on a Terminate: the quit, if one is pending.
  std::optional<int> QuitCode() { return toolkit.loop().QuitCode(); }

  // ScreenObserver
  void OnMessageBoxOpened(const ui::host::MessageBoxState& box) override;
  void OnSheetEnded(intptr_t result) override;

  struct Box {
    uint32_t id;
    std::wstring text;
    uint32_t flags;
    int answer;
  };
  std::vector<Box> boxes;
  /// Answers of the next boxes, in order; a box without one gets its default button.
  std::deque<int> answers;
  /// Runs while box `id` is open, before it is answered (once).
  std::map<uint32_t, std::function<void()>> whileOpen;

  TempFolder folder;
  RunContext run{};
  ImapiContext imapi;
  FakeDevices devices;
  ui::host::HostToolkit toolkit;
  WizardContext wizard{run, imapi, toolkit.ports(), devices};
  FakePlatform platform;
  Timeline timeline;
  platform::host::RecordingPowerRequests power;
  GatedSteps steps{timeline, power};
  WorkerServices worker = AllSteps(toolkit.loop(), power, steps);
  FakeUserRegistry users;
  SheetServices services{platform.tools, worker, users};

  std::unique_ptr<CVantorSheet> sheet;
  std::unique_ptr<CPage_010_Start> start;
  std::unique_ptr<CPage_015_Info> info;
  std::unique_ptr<CPage_020_Drive> drive;
  std::unique_ptr<CPage_030_Write> write;

 private:
  bool ended_ = false;
  intptr_t endCode_ = 0;
};

/// A USB disk record as the enumeration gives it, a device of its own at a number of its own
/// (each call makes another).
CVantorEnumUSBDetail UsbDisk(const std::wstring& caption, uint64_t sizeBytes,
                             std::vector<std::wstring> partitions,
                             const std::wstring& mediaType = L"Removable Media");

}  // namespace kestrune::testing
