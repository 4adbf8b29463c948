#include "engine/vantor_thread.h"

#include <system_error>

#include "app/tool_runner.h"
#include "app/work_folder.h"
#include "engine/job_protocol.h"
#include "engine/power_request.h"

namespace kestrune {

CVantorThread::CVantorThread(RunContext& context, ToolServices& tools)
    : context_(context), tools_(tools) {}

CVantorThread::CVantorThread(RunContext& context, ToolServices& tools, WorkerServices& worker)
    : context_(context), tools_(tools), worker_(&worker) {}

CVantorThread::~CVantorThread() {
  if (thread_.joinable()) {
    // Never reached by a correct owner; ending the loop here beats std::terminate.
    quitRequested_ = true;
    Resume();
    thread_.join();
  }
}

bool CVantorThread::CreateSuspended() {
  if (worker_ == nullptr || thread_.joinable()) return false;
  try {
    thread_ = std::thread(&CVantorThread::ThreadMain, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CVantorThread::Resume() {
  {
    platform::MutexLock lock(mutex_);
    resumed_ = true;
  }
  changed_.NotifyAll();
}

bool CVantorThread::WaitForEnd(std::chrono::milliseconds timeout) {
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    platform::MutexLock lock(mutex_);
    while (!ended_ && changed_.WaitUntil(lock, deadline)) {
    }
    if (!ended_) return false;
  }
  if (thread_.joinable()) thread_.join();
  return true;
}

void CVantorThread::AbandonRunningThread() {
  if (thread_.joinable()) thread_.detach();
}

bool CVantorThread::PostToThread(uint32_t code, uintptr_t wParam, intptr_t lParam) {
  if (!thread_.joinable()) return false;
  if (code == kQuitMessage) {
    PostQuitToOwnThread();
  } else {
    platform::MutexLock lock(mutex_);
    if (ended_) return false;
    queue_.push_back({code, wParam, lParam});
  }
  changed_.NotifyAll();
  return true;
}

void CVantorThread::ThreadMain() {
  {
    platform::MutexLock lock(mutex_);
    while (!resumed_) changed_.Wait(lock);
  }
  if (InitInstance()) {
    ThreadMessage message{};
    while (!quitRequested_) {
      if (TakeMessage(message)) {
        if (message.code == WM_JOB_REQUEST) RunJob(message.wParam, message.lParam);
        platform::MutexLock lock(mutex_);
        running_ = false;
      } else {
        OnIdle();
      }
    }
  }
  ExitInstance();
  {
    platform::MutexLock lock(mutex_);
    ended_ = true;
  }
  changed_.NotifyAll();
}

bool CVantorThread::TakeMessage(ThreadMessage& message) {
  platform::MutexLock lock(mutex_);
  if (queue_.empty()) return false;
  message = queue_.front();
  queue_.pop_front();
  running_ = true;
  return true;
}

bool CVantorThread::Busy() {
  platform::MutexLock lock(mutex_);
  return running_ || !queue_.empty();
}

bool CVantorThread::OnIdle() {
  const std::chrono::milliseconds poll(idlePollMs_.load());
  platform::AutoResetEvent* stopEvent = m_pStopEvent;
  if (stopEvent != nullptr) {
    if (stopEvent->Wait(poll)) PostQuitToOwnThread();
  } else {
    const auto deadline = std::chrono::steady_clock::now() + poll;
    platform::MutexLock lock(mutex_);
    while (queue_.empty() && !quitRequested_ && changed_.WaitUntil(lock, deadline)) {
    }
  }
  return true;
}

void CVantorThread::ExitInstance() {
  m_pReportWnd = nullptr;
  m_pStopEvent = nullptr;
}

void CVantorThread::PostReport(uint32_t code, uintptr_t wParam, intptr_t lParam) {
  const WindowHandle window = m_pReportWnd;
  if (window == nullptr || worker_ == nullptr) return;
  if (!worker_->windows.IsWindow(window)) {
    m_pReportWnd = nullptr;
    return;
  }
  // A window that goes away between the check and the post loses the report, as above.
  static_cast<void>(worker_->windows.Post(window, code, wParam, lParam));
}

void CVantorThread::RunJob(uintptr_t job, intptr_t argument) {
  uint32_t step;
  if (job == JOB_PREPARE) {
    step = STEP_PREPARE;
  } else if (job >= JOB_WRITE_DISC_1 && job <= JOB_WRITE_DISC_9) {
    step = STEP_DISC_JOB;
  } else if (job == JOB_WRITE_USB) {
    step = STEP_USB_JOB;
  } else if (job == JOB_FINISH) {
    step = STEP_FINISH;
  } else if (job == JOB_QUIT) {
    step = STEP_QUIT;
  } else {
    PostReport(WM_JOB_END, STEP_UNKNOWN, 0);
    return;
  }

  PostReport(WM_JOB_START, step, 0);
  uint32_t result = RESULT_OK;
  if (step == STEP_DISC_JOB) {
    result = RunDiscJob(static_cast<uint32_t>(argument) & 0xffff);
  } else if (step == STEP_USB_JOB) {
    result = RunUsbJob();
  } else if (step == STEP_QUIT) {
    PostQuitToOwnThread();
  }
  PostReport(WM_JOB_END, step, static_cast<intptr_t>(result));
  if (result == RESULT_STOPPED) PostQuitToOwnThread();
}

namespace {

StepResult StepResultOf(uint32_t result) {
  if (result == RESULT_OK) return StepResult::kPassed;
  return result == RESULT_STOPPED ? StepResult::kCancelled : StepResult::kFailed;
}

/// A step that did not run because it was switched off.
StepRecord Skipped(ReportStep name) {
  StepRecord step;
  step.name = name;
  step.result = StepResult::kSkipped;
  return step;
}

}  // namespace

template <typename Step>
uint32_t CVantorThread::RunReportedStep(uint32_t stepCode, ReportStep reportStep, Step step) {
  RunReport* report = context_.report;
  PostReport(WM_JOB_START, stepCode, 0);
  if (report != nullptr) report->BeginStep(reportStep);
  const uint32_t result = step();
  if (report != nullptr) report->EndStep(StepResultOf(result));
  PostReport(WM_JOB_END, stepCode, static_cast<intptr_t>(result));
  return result;
}

uint32_t CVantorThread::RunDiscJob(uint32_t disc) {
  ScopedPowerRequest power(worker_->power);
  DiscWritingSteps& discs = worker_->discs;
  RunReport* report = context_.report;
  const uint64_t imageBytes =
      disc >= 1 && disc <= kMaxSources ? context_.sources[disc - 1].sizeBytes : 0;
  if (report != nullptr) {
    const wchar_t drive[] = {context_.targetDriveLetter, L':', 0};
    report->BeginMedium(MediumKind::kDisc, disc, context_.sourceCount, drive, imageBytes);
  }

  uint32_t result = RunReportedStep(STEP_BURN, ReportStep::kWrite, [&] {
    const uint32_t burned = discs.BurnDisc(*this, disc);
    if (burned == RESULT_OK && report != nullptr) report->NoteCovered(0, imageBytes);
    return burned;
  });
  if (report != nullptr) {
    // The recorder's own verification runs inside the burn, from its finalization on.
    if (context_.noBurnVerify) {
      report->AddStep(Skipped(ReportStep::kBurnVerification));
    } else if (result == RESULT_OK) {
      StepRecord verification;
      verification.name = ReportStep::kBurnVerification;
      verification.bytes = imageBytes;
      const uint64_t from = context_.finalizeTime.Milliseconds();
      const uint64_t to = SystemTimeToMilliseconds(CurrentSystemTime());
      verification.milliseconds = from != 0 && to > from ? to - from : 0;
      report->AddStep(verification);
    }
  }
  if (result == RESULT_STOPPED) PostQuitToOwnThread();
  CleanWorkFolder();
  if (result == RESULT_OK && context_.compareAfterWrite) {
    context_.comparing = 1;
    result = RunReportedStep(STEP_DISC_COMPARE, ReportStep::kComparison,
                             [&] { return worker_->checks.RunDiscCompare(*this, disc); });
    if (result == RESULT_STOPPED) PostQuitToOwnThread();
    context_.comparing = 0;
  } else if (result == RESULT_OK && report != nullptr) {
    report->AddStep(Skipped(ReportStep::kComparison));
  }
  if (report != nullptr) report->EndMedium();
  // After success, failure and stop alike, and only after the comparison has read the disc.
  if (!context_.noEject) discs.EjectMedia(*this);
  return result;
}

uint32_t CVantorThread::RunUsbJob() {
  ScopedPowerRequest power(worker_->power);
  VerificationSteps& checks = worker_->checks;
  RunReport* report = context_.report;
  uint64_t imageBytes = 0;
  for (uint32_t i = 0; i < context_.sourceCount && i < kMaxSources; ++i) {
    imageBytes += context_.sources[i].sizeBytes;
  }
  if (report != nullptr) {
    std::wstring device{context_.targetDriveLetter, L':'};
    if (!context_.usbTarget.pnpDeviceId.empty()) {
      device += L" " + context_.usbTarget.pnpDeviceId.str();
    }
    report->BeginMedium(MediumKind::kUsb, 1, 1, device, imageBytes);
  }

  uint32_t result = RunReportedStep(STEP_USB_WRITE, ReportStep::kWrite, [&] {
    const uint32_t written = worker_->usb.WriteUsbDrive(*this);
    if (written == RESULT_OK && report != nullptr) report->NoteCovered(0, imageBytes);
    return written;
  });
  if (result == RESULT_OK) {
    result = RunReportedStep(STEP_USB_MD5_CHECK, ReportStep::kMd5Check,
                             [&] { return checks.RunUsbMd5Check(*this); });
  }
  if (result == RESULT_STOPPED) {
    PostQuitToOwnThread();
    CleanWorkFolder();
  } else {
    CleanWorkFolder();
    if (result == RESULT_OK && context_.compareAfterWrite) {
      context_.comparing = 1;
      result = RunReportedStep(STEP_USB_COMPARE, ReportStep::kComparison,
                               [&] { return checks.RunUsbCompare(*this); });
      if (result == RESULT_STOPPED) PostQuitToOwnThread();
      context_.comparing = 0;
    } else if (result == RESULT_OK && report != nullptr) {
      report->AddStep(Skipped(ReportStep::kComparison));
    }
  }
  // A stick that failed its writing or a check, or whose job was stopped, must never look
  // like a recovery medium.
  if (result != RESULT_OK && worker_->usb.MarkIncomplete(*this)) context_.usbMarkedIncomplete = 1;
  if (report != nullptr) report->EndMedium();
  return result;
}

bool CVantorThread::RunTool(const std::wstring& program, const std::wstring& parameters,
                            const std::wstring& folder, int* gotExitCode, uint32_t* exitCode,
                            bool cancellable, const std::wstring& outputFile,
                            const std::function<void()>& eachSecond) {
  return kestrune::RunTool(tools_.processes, m_pStopEvent, program, parameters, folder, gotExitCode,
                           exitCode, cancellable, outputFile, eachSecond);
}

bool CVantorThread::StopRequested() {
  platform::AutoResetEvent* stop = m_pStopEvent;
  return stop != nullptr && stop->IsSet();
}

bool CVantorThread::CleanWorkFolder() { return kestrune::CleanWorkFolder(context_, tools_); }

}  // namespace kestrune
