#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/job_steps.h"
#include "engine/vantor_thread.h"
#include "platform/host/host_power_requests.h"
#include "platform/mutex.h"

namespace kestrune::testing {

/// One ordered record of what a job did: its reports and its step calls.
class Timeline {
 public:
  void Add(std::string event);
  std::vector<std::string> Events() const;

 private:
  mutable platform::Mutex mutex_;
  std::vector<std::string> events_ KESTRUNE_GUARDED_BY(mutex_);
};

/// "start BURN", "end DISC_JOB BURN_FAILED", "end USB_WRITE_PROGRESS 500".
std::string DescribeReport(uint32_t code, uintptr_t wParam, intptr_t lParam);

/// A report window that records posts into the timeline and can vanish after a number of them.
class TimelineWindows : public platform::WindowPort {
 public:
  explicit TimelineWindows(Timeline& timeline) : timeline_(timeline) {}
  bool Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) override;
  bool IsWindow(WindowHandle window) override;

  /// The window is destroyed once this many reports have been posted (never when negative).
  int destroyAfterPosts = -1;

 private:
  Timeline& timeline_;
  int posts_ = 0;
};

/// Steps of every group with scripted results that log their calls, with the number of power
/// requests held at the time ("burn 2 power=1").
class ScriptedSteps : public DiscWritingSteps, public UsbWritingStep, public VerificationSteps {
 public:
  ScriptedSteps(Timeline& timeline, platform::host::RecordingPowerRequests& power)
      : timeline_(timeline), power_(power) {}

  uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) override;
  uint32_t RunDiscCompare(CVantorThread& worker, uint32_t disc) override;
  uint32_t WriteUsbDrive(CVantorThread& worker) override;
  uint32_t RunUsbMd5Check(CVantorThread& worker) override;
  uint32_t RunUsbCompare(CVantorThread& worker) override;
  void EjectMedia(CVantorThread& worker) override;
  /// Logs "mark" and answers `marks`.
  bool MarkIncomplete(CVantorThread& worker) override;

  std::map<std::string, uint32_t> results;  ///< by step: "burn", "compare", "usb", "md5"...
  /// What MarkIncomplete answers: whether a stick was built to mark.
  bool marks = false;
  /// Per-mille values WriteUsbDrive reports as progress.
  std::vector<intptr_t> usbProgress;

 private:
  uint32_t Step(const std::string& name, const std::string& detail, CVantorThread& worker);

  Timeline& timeline_;
  platform::host::RecordingPowerRequests& power_;
};

/// A worker that logs its cleaning of the comparison folder ("clean") instead of doing it.
class TimelineWorker : public CVantorThread {
 public:
  TimelineWorker(RunContext& context, ToolServices& tools, WorkerServices& worker,
                 Timeline& timeline)
      : CVantorThread(context, tools, worker), timeline_(timeline) {}
  bool CleanWorkFolder() override {
    timeline_.Add("clean");
    return true;
  }

 private:
  Timeline& timeline_;
};

/// The worker's services with every group of steps taken from `steps`.
inline WorkerServices AllSteps(platform::WindowPort& windows, platform::PowerRequests& power,
                               ScriptedSteps& steps) {
  return WorkerServices{windows, power, steps, steps, steps};
}

}  // namespace kestrune::testing
