// The worker as a thread: its message loop, its start by the sheet and its end.
#include "engine/worker_start.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "engine/job_protocol.h"
#include "engine/job_test_support.h"
#include "platform/host/window_table.h"

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// Steps whose burn blocks until the test releases it.
class BlockingSteps : public testing::ScriptedSteps {
 public:
  using ScriptedSteps::ScriptedSteps;
  uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) override {
    {
      platform::MutexLock lock(mutex);
      entered = true;
      changed.NotifyAll();
      while (!released) changed.Wait(lock);
    }
    return ScriptedSteps::BurnDisc(worker, disc);
  }
  void WaitUntilEntered() {
    platform::MutexLock lock(mutex);
    while (!entered) changed.Wait(lock);
  }
  void Release() {
    platform::MutexLock lock(mutex);
    released = true;
    changed.NotifyAll();
  }

  platform::Mutex mutex;
  platform::ConditionVariable changed;
  bool entered KESTRUNE_GUARDED_BY(mutex) = false;
  bool released KESTRUNE_GUARDED_BY(mutex) = false;
};

// A sheet, its worker and the recording services behind it.
struct Harness {
  void Start() {
    const auto image = folder.WriteFile("disc1.iso", std::string(4096, 'x'));
    context.sources[0].path.Assign(testing::Wide(image));
    context.sourceCount = 1;
    worker = StartWorker(context, fakes.tools, services, stopEvent, sheet);
    ASSERT_NE(worker, nullptr);
    worker->SetIdlePollInterval(20ms);
  }
  void Post(uintptr_t job, intptr_t argument = 0) {
    ASSERT_TRUE(worker->PostToThread(WM_JOB_REQUEST, job, argument));
  }
  Events Reports() {
    Events events;
    for (const auto& m : windows.TakeAll(sheet)) {
      events.push_back(testing::DescribeReport(m.code, m.wParam, m.lParam));
    }
    return events;
  }

  testing::TempFolder folder;
  RunContext context{};
  testing::FakePlatform fakes;
  testing::Timeline timeline;
  platform::host::WindowTable windows;
  WindowHandle sheet = windows.Create();
  platform::host::RecordingPowerRequests power;
  BlockingSteps steps{timeline, power};
  WorkerServices services = testing::AllSteps(windows, power, steps);
  platform::AutoResetEvent stopEvent;
  std::unique_ptr<CVantorThread> worker;
};

class WorkerThreadTest : public ::testing::Test, protected Harness {};

TEST_F(WorkerThreadTest, StartSurveysTheSourcesBeforeTheLoopRuns) {
  stopEvent.Set();  // a stale signal from before the start must not end the new worker
  Start();
  EXPECT_EQ(context.surveyResult, RESULT_OK);
  EXPECT_EQ(context.sources[0].sizeBytes, 4096u);
  EXPECT_EQ(worker->m_pReportWnd.load(), sheet);
  EXPECT_EQ(worker->m_pStopEvent.load(), &stopEvent);
  EXPECT_FALSE(worker->WaitForEnd(100ms));
  EXPECT_TRUE(worker->PostToThread(kQuitMessage, 0, 0));
  EXPECT_TRUE(worker->WaitForEnd(5s));
}

TEST_F(WorkerThreadTest, StartWithoutSourcesStillStartsTheWorker) {
  worker = StartWorker(context, fakes.tools, services, stopEvent, sheet);
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(context.surveyResult, RESULT_NO_SOURCES);
  stopEvent.Set();
  EXPECT_TRUE(AwaitWorkerEnd(worker, 100ms, 50));
}

TEST_F(WorkerThreadTest, JobsRunOneAtATimeInArrivalOrderUntilQuit) {
  Start();
  steps.Release();
  Post(JOB_PREPARE);
  Post(JOB_WRITE_DISC_1, 1);
  Post(JOB_FINISH);
  Post(JOB_QUIT);
  ASSERT_TRUE(worker->WaitForEnd(10s));
  EXPECT_EQ(Reports(), (Events{"start PREPARE", "end PREPARE OK", "start DISC_JOB", "start BURN",
                               "end BURN OK", "end DISC_JOB OK", "start FINISH", "end FINISH OK",
                               "start QUIT", "end QUIT OK"}));
  EXPECT_EQ(worker->m_pReportWnd.load(), nullptr) << "cleared on the way out";
  EXPECT_EQ(worker->m_pStopEvent.load(), nullptr);
  EXPECT_FALSE(worker->PostToThread(WM_JOB_REQUEST, JOB_PREPARE, 0));
}

TEST_F(WorkerThreadTest, StopEventEndsAnIdleWorker) {
  Start();
  Post(JOB_PREPARE);
  stopEvent.Set();
  ASSERT_TRUE(worker->WaitForEnd(5s));
  EXPECT_FALSE(stopEvent.TryConsume()) << "the idle poll consumed the signal";
}

TEST_F(WorkerThreadTest, StoppedJobEndsTheWorkerBeforeTheNextJob) {
  Start();
  steps.results["burn"] = RESULT_STOPPED;
  steps.Release();
  Post(JOB_WRITE_DISC_1, 1);
  Post(JOB_PREPARE);
  ASSERT_TRUE(worker->WaitForEnd(5s));
  EXPECT_EQ(Reports().back(), "end DISC_JOB STOPPED");
}

TEST_F(WorkerThreadTest, DestroyedSheetSilencesTheRunningJob) {
  Start();
  Post(JOB_WRITE_DISC_1, 1);
  steps.WaitUntilEntered();
  windows.Destroy(sheet);
  steps.Release();
  Post(JOB_QUIT);
  ASSERT_TRUE(worker->WaitForEnd(5s));
  EXPECT_EQ(timeline.Events(), (Events{"burn 1 power=1", "eject"}));
  EXPECT_EQ(power.OpenRequests(), 0);
}

TEST_F(WorkerThreadTest, ShutdownAbandonsAWorkerThatDoesNotEnd) {
  // Everything the abandoned thread touches must outlive this test.
  static auto* leaked = new Harness();
  leaked->Start();
  ASSERT_TRUE(leaked->worker->PostToThread(WM_JOB_REQUEST, JOB_WRITE_DISC_1, 1));
  leaked->steps.WaitUntilEntered();
  leaked->stopEvent.Set();
  EXPECT_FALSE(AwaitWorkerEnd(leaked->worker, 10ms, 3));
  EXPECT_EQ(leaked->worker, nullptr);
  leaked->steps.Release();  // the abandoned thread finishes its job and ends on its own
}

}  // namespace
}  // namespace kestrune
