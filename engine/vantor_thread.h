#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "app/run_context.h"
#include "app/run_report.h"
#include "app/tool_services.h"
#include "engine/job_steps.h"
#include "platform/auto_reset_event.h"
#include "platform/mutex.h"
#include "platform/power_requests.h"
#include "platform/window_port.h"

namespace kestrune {

/// What the worker needs besides the tool services: where its reports go, the power requests
/// of its jobs, and the three groups of steps it runs.
struct WorkerServices {
  platform::WindowPort& windows;
  platform::PowerRequests& power;
  DiscWritingSteps& discs;
  UsbWritingStep& usb;
  VerificationSteps& checks;
};

/// The wizard's worker thread. It takes job requests from its own queue one at a time, runs
/// their steps in order and reports the start and end of every job and step to the report
/// window. Every child process of a job runs through it, so that the stop event can cancel
/// the cancellable ones.
///
/// Lifecycle: CreateSuspended (the thread exists but waits), Resume (it enters its message
/// loop), then the loop ends on JOB_QUIT, on a step that returns RESULT_STOPPED, or when the
/// idle poll sees the stop event; ExitInstance clears the report window and the stop event.
class CVantorThread {
 public:
  /// An owner of tool runs only, never started as a thread (the Seven-Zip mode).
  CVantorThread(RunContext& context, ToolServices& tools);
  /// A worker that can run jobs.
  CVantorThread(RunContext& context, ToolServices& tools, WorkerServices& worker);
  /// A thread that has not ended must be abandoned (AbandonRunningThread) before this.
  virtual ~CVantorThread();

  CVantorThread(const CVantorThread&) = delete;
  CVantorThread& operator=(const CVantorThread&) = delete;

  // --- Thread lifecycle (called by the sheet, on the UI thread) ---

  /// Creates the thread, held before its message loop until Resume. False when the system
  /// cannot create a thread.
  [[nodiscard]] bool CreateSuspended();
  void Resume();
  /// Waits up to `timeout` for the thread to end; true once it has ended (and is joined).
  [[nodiscard]] bool WaitForEnd(std::chrono::milliseconds timeout);
  /// Lets a thread that did not end in time run on unowned while the process shuts down.
  /// The object must then never be destroyed; the caller releases its ownership.
  void AbandonRunningThread();
  /// Queues a thread message (the sheet forwards WM_JOB_REQUEST here). False without a thread.
  [[nodiscard]] bool PostToThread(uint32_t code, uintptr_t wParam, intptr_t lParam);
  /// True while a job runs or job requests wait in the queue (any thread).
  [[nodiscard]] bool Busy();
  /// How long an idle worker waits on the stop event per poll (500 ms; tests shorten it).
  void SetIdlePollInterval(std::chrono::milliseconds interval) { idlePollMs_ = interval.count(); }

  // --- The worker's own operations (called on the worker thread) ---

  /// The message map: WM_JOB_REQUEST runs the job.
  virtual void RunJob(uintptr_t job, intptr_t argument);
  /// Posts a report to the report window while it exists. Once the window is gone the report
  /// window is forgotten and this and every later report is skipped; the job goes on.
  void PostReport(uint32_t code, uintptr_t wParam, intptr_t lParam);
  /// Ends the message loop once the running job has returned.
  void PostQuitToOwnThread() { quitRequested_ = true; }
  [[nodiscard]] bool QuitRequested() const { return quitRequested_; }

  /// Runs a carried tool or "cmd.exe" and waits for it; see kestrune::RunTool for the outcomes.
  [[nodiscard]] bool RunTool(const std::wstring& program, const std::wstring& parameters,
                             const std::wstring& folder, int* gotExitCode, uint32_t* exitCode,
                             bool cancellable, const std::wstring& outputFile = {},
                             const std::function<void()>& eachSecond = {});
  /// True when the stop event is set, leaving it set for the wait that is meant to take it: the
  /// last look before a step destroys data.
  [[nodiscard]] bool StopRequested();
  /// Removes the comparison folder of the work folder (after every disc and USB write, and
  /// by the comparisons before and after they unpack); see kestrune::CleanWorkFolder. True
  /// when none is left.
  virtual bool CleanWorkFolder();

  RunContext& context() { return context_; }
  ToolServices& tools() { return tools_; }

  /// The sheet's window; set by the sheet before the thread runs, cleared by the worker.
  std::atomic<WindowHandle> m_pReportWnd{nullptr};
  /// The sheet's auto-reset stop event; null for an owner that cannot be stopped.
  std::atomic<platform::AutoResetEvent*> m_pStopEvent{nullptr};

 protected:
  [[nodiscard]] virtual bool InitInstance() { return true; }
  /// Waits on the stop event for one poll interval; when it is set, ends the loop. Always
  /// true: an idle worker keeps polling.
  virtual bool OnIdle();
  virtual void ExitInstance();

 private:
  struct ThreadMessage {
    uint32_t code;
    uintptr_t wParam;
    intptr_t lParam;
  };

  void ThreadMain();
  [[nodiscard]] bool TakeMessage(ThreadMessage& message);
  [[nodiscard]] uint32_t RunDiscJob(uint32_t disc);
  [[nodiscard]] uint32_t RunUsbJob();
  /// Reports the start, runs `step` and reports its end, to the report window and as
  /// `reportStep` of the run's verification report; returns its result.
  template <typename Step>
  [[nodiscard]] uint32_t RunReportedStep(uint32_t stepCode, ReportStep reportStep, Step step);

  RunContext& context_;
  ToolServices& tools_;
  WorkerServices* worker_ = nullptr;

  std::thread thread_;
  platform::Mutex mutex_;
  platform::ConditionVariable changed_;
  std::deque<ThreadMessage> queue_ KESTRUNE_GUARDED_BY(mutex_);
  bool resumed_ KESTRUNE_GUARDED_BY(mutex_) = false;
  bool running_ KESTRUNE_GUARDED_BY(mutex_) = false;
  bool ended_ KESTRUNE_GUARDED_BY(mutex_) = false;
  std::atomic<bool> quitRequested_{false};
  std::atomic<int64_t> idlePollMs_{500};
};

/// The owner of the Seven-Zip mode's single tool run: a worker that never runs as a thread
/// and has no stop event.
class CSevenZip : public CVantorThread {
 public:
  CSevenZip(RunContext& context, ToolServices& tools) : CVantorThread(context, tools) {}
};

}  // namespace kestrune
