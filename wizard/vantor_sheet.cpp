#include "wizard/vantor_sheet.h"

#include "engine/worker_start.h"
#include "wizard/string_ids.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {
namespace {

bool IsWritingJob(uintptr_t job) {
  return (job >= JOB_WRITE_DISC_1 && job <= JOB_WRITE_DISC_9) || job == JOB_WRITE_USB;
}

}  // namespace

bool TranslateDeviceChange(uint32_t event, const void* data, uintptr_t& wParam, intptr_t& lParam) {
  if (event == wm::kDbtDevNodesChanged) {
    wParam = kDeviceEventNodesChanged;
    lParam = 0;
    return true;
  }
  if (event != wm::kDbtDeviceArrival && event != wm::kDbtDeviceRemoveComplete) return false;
  const auto* volume = static_cast<const wm::DeviceBroadcast*>(data);
  if (volume == nullptr || volume->deviceType != wm::kDbtDevTypVolume) return false;
  const bool media = (volume->flags & wm::kDbtfMedia) != 0;
  if (!media && volume->flags != 0) return false;
  if (event == wm::kDbtDeviceArrival) {
    wParam = media ? kDeviceEventMediaArrived : kDeviceEventVolumeArrived;
  } else {
    wParam = media ? kDeviceEventMediaRemoved : kDeviceEventVolumeRemoved;
  }
  lParam = static_cast<intptr_t>(volume->unitMask);
  return true;
}

CVantorSheet::CVantorSheet(WizardContext& wizard, SheetServices& services)
    : wizard_(wizard),
      services_(services),
      stopEvent_(std::make_unique<platform::AutoResetEvent>()) {
  // The report window follows once the sheet window exists (OnInitDialog); no job runs
  // before then.
  worker_ = StartWorker(wizard_.run, services_.tools, services_.worker, *stopEvent_, nullptr);
}

CVantorSheet::~CVantorSheet() {
  RestoreAutoplay();
  if (abandonedStopEvent_) {
    // A worker that did not end in time still waits on it.
    static_cast<void>(stopEvent_.release());
  }
}

intptr_t CVantorSheet::DoModal() {
  if (!worker_ || wizard_.run.surveyResult != 0) return wizard_exit::kAborted;
  std::vector<SheetPage> pages;
  for (CPageBase* page : pages_) pages.push_back({page, page->templateId()});
  return wizard_.ui.sheets.RunSheet(*this, wizard_.Text(kAppTitleStringId), pages);
}

bool CVantorSheet::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                             intptr_t& result) {
  result = 0;
  switch (message) {
    case wm::kInitDialog:
      OnInitDialog();
      result = 1;
      return true;
    case wm::kSysCommand:
      if ((wParam & 0xFFF0) != wm::kScClose) return false;
      // Only a close that ConfirmClose lets go reaches the default processing.
      return live == 0 || ConfirmClose();
    case wm::kCommand:
      return OnCommand(wParam);
    case wm::kDestroy:
      RestoreAutoplay();
      stopEvent_->Set();
      wizard_.run.sheetWnd = nullptr;
      return false;
    case WM_WRITE_ACTION:
    case WM_COMPARE_PROGRESS:
    case WM_JOB_START:
    case WM_JOB_END:
      if (live != 0) RelayToActivePage(message, wParam, lParam);
      return true;
    case WM_JOB_REQUEST:
      OnJobRequest(wParam, lParam);
      return true;
    case WM_PROMPT_DISC_DONE:
      if (live != 0) {
        BringToFront();
        if (live != 0) RelayToActivePage(message, wParam, lParam);
      }
      return true;
    case WM_BRING_TO_FRONT:
      BringToFront();
      return true;
    case wm::kEndSession:
      if (wParam != 0) {
        RestoreAutoplay();
        stopEvent_->Set();
      }
      return false;
    case wm::kDeviceChange: {
      uintptr_t event = 0;
      intptr_t mask = 0;
      // lParam carries the broadcast record's address, as WM_DEVICECHANGE does.
      const auto* broadcast =
          reinterpret_cast<const void*>(lParam);  // NOLINT(performance-no-int-to-ptr)
      if (live != 0 &&
          TranslateDeviceChange(static_cast<uint32_t>(wParam), broadcast, event, mask)) {
        RelayToActivePage(WM_DEVICE_EVENT, event, mask);
      }
      result = 1;
      return true;
    }
    default:
      return false;
  }
}

void CVantorSheet::OnInitDialog() {
  shown_ = true;
  wizard_.run.sheetWnd = window();
  if (worker_) worker_->m_pReportWnd = window();
  static_cast<void>(wizard_.ui.post.Post(window(), wm::kSetWizButtons, 0, wm::kWizButtonNext));
  BringToFront();

  users = std::make_unique<UserHiveList>(services_.users, wizard_.run.journal);
  users->AddLoggedOnUsers();
}

void CVantorSheet::RestoreAutoplay() {
  if (!users) return;
  users->RestoreAll();
  users.reset();
}

bool CVantorSheet::OnCommand(uintptr_t wParam) {
  const uint32_t id = wParam & 0xffff;
  const uint32_t code = (wParam >> 16) & 0xffff;
  if (id == static_cast<uint32_t>(wm::kIdCancel) && code == 0) return ConfirmClose();
  return false;
}

void CVantorSheet::OnJobRequest(uintptr_t job, intptr_t argument) {
  if (!worker_) return;
  // A writing job waits while the user is asked whether to stop.
  if (closeQuestions_ > 0 && IsWritingJob(job)) {
    heldJobs_.emplace_back(job, argument);
    return;
  }
  static_cast<void>(worker_->PostToThread(WM_JOB_REQUEST, job, argument));
}

void CVantorSheet::ReleaseHeldJobs(bool forward) {
  std::vector<std::pair<uintptr_t, intptr_t>> held;
  held.swap(heldJobs_);
  if (!forward || !worker_) return;
  for (const auto& [job, argument] : held) {
    static_cast<void>(worker_->PostToThread(WM_JOB_REQUEST, job, argument));
  }
}

CPageBase* CVantorSheet::ActivePage(WindowHandle* pageWindow) {
  if (window() == nullptr) return nullptr;
  const int index = wizard_.ui.sheets.ActivePage(window());
  if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
  if (pageWindow != nullptr) *pageWindow = wizard_.ui.sheets.PageWindow(window(), index);
  return pages_[static_cast<size_t>(index)];
}

void CVantorSheet::RelayToActivePage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  WindowHandle page = nullptr;
  if (ActivePage(&page) != nullptr && page != nullptr) {
    static_cast<void>(wizard_.ui.post.Post(page, message, wParam, lParam));
  }
}

void CVantorSheet::BringToFront() {
  if (window() != nullptr) wizard_.ui.windows.BringToFront(window());
}

bool CVantorSheet::AskYes(uint32_t id) {
  return wizard_.Message(id, wm::kMbYesNo | wm::kMbDefButton2) == wm::kIdYes;
}

bool CVantorSheet::ConfirmClose() {
  // A modal dialog of a page is open.
  if (window() != nullptr && !wizard_.ui.windows.IsWindowEnabled(window())) return true;
  CPageBase* page = ActivePage();
  if (page == nullptr) return false;
  if (page->templateId() == kTemplateDrive) {
    ++closeQuestions_;
    const bool leave = AskYes(kStr400StopCreation);
    --closeQuestions_;
    return !leave;
  }
  if (page->templateId() != kTemplateWrite) return false;
  ++closeQuestions_;
  const bool stay = ConfirmCloseWhileWriting();
  --closeQuestions_;
  ReleaseHeldJobs(stay);
  return stay;
}

bool CVantorSheet::ConfirmCloseWhileWriting() {
  RunContext& run = wizard_.run;
  ImapiContext& imapi = wizard_.imapi;
  // Says why the wizard cannot close now; true = stay open.
  const auto refuse = [this](uint32_t id) {
    wizard_.Message(id, wm::kMbOk);
    return true;
  };
  bool askedAboutBurn = false;
  if (imapi.burning != 0) {
    if (run.finalizing != 0) return refuse(kStr407CannotExitWhileVerifying);
    askedAboutBurn = true;
    if (!AskYes(kStr402StopCreationDiscUnusable)) return true;
  } else {
    if (run.comparing != 0) return refuse(kStr408CannotExitWhileComparing);
    if (!AskYes(kStr401StopCreationTakesAWhile)) return true;
  }
  // The state may have moved on while the question was open.
  if (imapi.burning != 0 && run.finalizing != 0) return refuse(kStr407CannotExitWhileVerifying);
  if (run.comparing != 0) return refuse(kStr408CannotExitWhileComparing);
  // A burn that started meanwhile is not cancelled without its own question.
  if (imapi.burning != 0 && !askedAboutBurn) {
    if (!AskYes(kStr402StopCreationDiscUnusable)) return true;
    if (imapi.burning != 0 && run.finalizing != 0) return refuse(kStr407CannotExitWhileVerifying);
    if (run.comparing != 0) return refuse(kStr408CannotExitWhileComparing);
  }
  run.cancelRequested = 1;
  imapi.exitRequested = 1;
  return false;
}

void CVantorSheet::Terminate(int exitCode, uint32_t messageId, const std::wstring& message) {
  live = 0;
  if (window() != nullptr) wizard_.ui.windows.ShowWindow(window(), false);
  wizard_.run.cancelRequested = 1;
  wizard_.imapi.exitRequested = 1;
  if (worker_) stopEvent_->Set();
  if (messageId != 0 || !message.empty()) {
    wizard_.ui.dialogs.ShowMessage(window(), messageId, message, wm::kMbTopmost);
  }
  wizard_.ui.dialogs.PostQuit(exitCode);
}

}  // namespace kestrune
