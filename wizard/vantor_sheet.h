#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/autoplay.h"
#include "app/tool_services.h"
#include "engine/vantor_thread.h"
#include "platform/auto_reset_event.h"
#include "platform/user_registry.h"
#include "wizard/page_base.h"
#include "wizard/view_ports.h"
#include "wizard/wizard_context.h"

namespace kestrune {

/// What the sheet needs besides the wizard's context: the services of its worker and the
/// users' registry for autoplay suppression.
struct SheetServices {
  ToolServices& tools;
  WorkerServices& worker;
  platform::UserRegistry& users;
};

/// How the wizard ended: the result of CVantorSheet::DoModal, as the Write page gives it to
/// Terminate. A sheet closed any other way (the user's confirmed close, a session's end) gives
/// the toolkit's own result.
namespace wizard_exit {
/// Every job of the queue ran to its end (under /P the set may still lack discs).
inline constexpr int kComplete = 1;
/// A disc write failed and the user, instead of trying again, confirmed the stop.
inline constexpr int kStoppedAfterFailedWrite = 2;
/// Ended before the queue was done: a step failed, the disc drive went away, or the user left
/// the prompt for a blank disc. Also the result of a sheet that was never shown.
inline constexpr int kAborted = 3;
}  // namespace wizard_exit

/// Translates a system device notification into the wizard's device event (wParam, lParam
/// of WM_DEVICE_EVENT). False for notifications the wizard does not pass on.
bool TranslateDeviceChange(uint32_t event, const void* data, uintptr_t& wParam, intptr_t& lParam);

/// The wizard sheet: hosts the four pages and is the hub of the running wizard. It owns the
/// worker and its stop event, relays every message between the worker and the page that
/// shows, turns device notifications into device events, protects a running write against
/// being closed, and switches autoplay off for the logged-on users while it exists.
class CVantorSheet : public WindowProcedure {
 public:
  /// Starts the worker and runs the source survey (the worker's report window is the sheet
  /// window once it exists).
  CVantorSheet(WizardContext& wizard, SheetServices& services);
  ~CVantorSheet() override;

  CVantorSheet(const CVantorSheet&) = delete;
  CVantorSheet& operator=(const CVantorSheet&) = delete;

  void AddPage(CPageBase& page) { pages_.push_back(&page); }

  /// wizard_exit::kAborted without showing anything when there is no worker or the survey
  /// failed; otherwise shows the sheet modally and returns the toolkit's result.
  intptr_t DoModal();

  /// True = stay open. Asks or refuses according to the page that shows and what runs.
  bool ConfirmClose();
  /// Ends the application: no more relaying, the sheet hidden, a running write cancelled, the
  /// worker stopped, `message` (string `messageId`) shown when there is one, then the quit
  /// with `exitCode` (wizard_exit).
  void Terminate(int exitCode, uint32_t messageId, const std::wstring& message);
  void BringToFront();

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

  CVantorThread* worker() const { return worker_.get(); }
  /// For start-up's wait for the worker at shutdown.
  std::unique_ptr<CVantorThread>& workerOwner() { return worker_; }
  platform::AutoResetEvent& stopEvent() { return *stopEvent_; }
  /// Leaves the stop event to a worker that outlives the sheet (it is never freed).
  void AbandonStopEvent() { abandonedStopEvent_ = true; }
  /// True once the sheet window was created, however it ended afterwards.
  bool shown() const { return shown_; }

  /// 1 while the sheet relays messages; Terminate sets it to 0.
  int live = 1;
  /// The users whose autoplay was switched off; null before the sheet shows and after restore.
  std::unique_ptr<UserHiveList> users;

 private:
  void OnInitDialog();
  void RestoreAutoplay();
  bool OnCommand(uintptr_t wParam);
  void OnJobRequest(uintptr_t job, intptr_t argument);
  /// The page that shows and its window; null when none.
  CPageBase* ActivePage(WindowHandle* pageWindow = nullptr);
  void RelayToActivePage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  /// Asks `id` (Yes/No, No the default); true for Yes.
  bool AskYes(uint32_t id);
  /// The question of the Write page; true = stay open.
  bool ConfirmCloseWhileWriting();
  void ReleaseHeldJobs(bool forward);

  WizardContext& wizard_;
  SheetServices& services_;
  std::vector<CPageBase*> pages_;
  std::unique_ptr<platform::AutoResetEvent> stopEvent_;
  std::unique_ptr<CVantorThread> worker_;
  bool abandonedStopEvent_ = false;
  bool shown_ = false;
  /// Close questions open at the moment; writing jobs wait meanwhile.
  int closeQuestions_ = 0;
  std::vector<std::pair<uintptr_t, intptr_t>> heldJobs_;
};

}  // namespace kestrune
