#include "engine/job_test_support.h"

#include <sstream>

#include "engine/job_protocol.h"

namespace kestrune::testing {
namespace {

std::string StepName(uintptr_t step) {
  static const std::map<uintptr_t, std::string> names{
      {STEP_PREPARE, "PREPARE"},
      {STEP_DISC_JOB, "DISC_JOB"},
      {STEP_USB_JOB, "USB_JOB"},
      {STEP_FINISH, "FINISH"},
      {STEP_QUIT, "QUIT"},
      {STEP_UNKNOWN, "UNKNOWN"},
      {STEP_BURN, "BURN"},
      {STEP_DISC_COMPARE, "DISC_COMPARE"},
      {STEP_USB_WRITE, "USB_WRITE"},
      {STEP_USB_WRITE_PROGRESS, "USB_WRITE_PROGRESS"},
      {STEP_USB_MD5_CHECK, "USB_MD5_CHECK"},
      {STEP_USB_COMPARE, "USB_COMPARE"}};
  const auto it = names.find(step);
  return it != names.end() ? it->second : "step?" + std::to_string(step);
}

std::string ResultName(intptr_t result) {
  static const std::map<intptr_t, std::string> names{{RESULT_OK, "OK"},
                                                     {RESULT_STOPPED, "STOPPED"},
                                                     {RESULT_STEP_FAILED, "STEP_FAILED"},
                                                     {RESULT_CHECK_FAILED, "CHECK_FAILED"},
                                                     {RESULT_COMPARE_MISMATCH, "COMPARE_MISMATCH"},
                                                     {RESULT_BURN_FAILED, "BURN_FAILED"}};
  const auto it = names.find(result);
  return it != names.end() ? it->second : "result?" + std::to_string(result);
}

}  // namespace

void Timeline::Add(std::string event) {
  platform::MutexLock lock(mutex_);
  events_.push_back(std::move(event));
}

std::vector<std::string> Timeline::Events() const {
  platform::MutexLock lock(mutex_);
  return events_;
}

std::string DescribeReport(uint32_t code, uintptr_t wParam, intptr_t lParam) {
  if (code == WM_JOB_START) return "start " + StepName(wParam);
  if (code == WM_JOB_END && wParam == STEP_USB_WRITE_PROGRESS) {
    return "end USB_WRITE_PROGRESS " + std::to_string(lParam);
  }
  if (code == WM_JOB_END) return "end " + StepName(wParam) + " " + ResultName(lParam);
  return "message " + std::to_string(code);
}

bool TimelineWindows::Post(WindowHandle, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  ++posts_;
  timeline_.Add(DescribeReport(code, wParam, lParam));
  return true;
}

bool TimelineWindows::IsWindow(WindowHandle) {
  return destroyAfterPosts < 0 || posts_ < destroyAfterPosts;
}

uint32_t ScriptedSteps::Step(const std::string& name, const std::string& detail,
                             CVantorThread& worker) {
  std::ostringstream event;
  event << name << detail << " power=" << power_.ActiveRequests();
  if (worker.context().comparing) event << " comparing";
  timeline_.Add(event.str());
  const auto it = results.find(name);
  return it != results.end() ? it->second : RESULT_OK;
}

uint32_t ScriptedSteps::BurnDisc(CVantorThread& worker, uint32_t disc) {
  return Step("burn", " " + std::to_string(disc), worker);
}

uint32_t ScriptedSteps::RunDiscCompare(CVantorThread& worker, uint32_t disc) {
  return Step("compare", " " + std::to_string(disc), worker);
}

uint32_t ScriptedSteps::WriteUsbDrive(CVantorThread& worker) {
  for (const intptr_t perMille : usbProgress) {
    worker.PostReport(WM_JOB_END, STEP_USB_WRITE_PROGRESS, perMille);
  }
  return Step("usb", "", worker);
}

uint32_t ScriptedSteps::RunUsbMd5Check(CVantorThread& worker) { return Step("md5", "", worker); }

uint32_t ScriptedSteps::RunUsbCompare(CVantorThread& worker) {
  return Step("usbcompare", "", worker);
}

void ScriptedSteps::EjectMedia(CVantorThread&) { timeline_.Add("eject"); }

bool ScriptedSteps::MarkIncomplete(CVantorThread&) {
  timeline_.Add("mark");
  return marks;
}

}  // namespace kestrune::testing
