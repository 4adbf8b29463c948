// The job protocol: what each job reports, in which order, and which steps it runs.
#include "engine/vantor_thread.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "engine/job_protocol.h"
#include "engine/job_test_support.h"

namespace kestrune {
namespace {

using Events = std::vector<std::string>;
using platform::host::RecordingPowerRequests;

class JobProtocolTest : public ::testing::Test {
 protected:
  JobProtocolTest() { worker.m_pReportWnd = reinterpret_cast<WindowHandle>(1); }

  Events Run(uintptr_t job, intptr_t argument = 0) {
    worker.RunJob(job, argument);
    return timeline.Events();
  }

  RunContext context{};
  testing::FakePlatform fakes;
  testing::Timeline timeline;
  testing::TimelineWindows windows{timeline};
  RecordingPowerRequests power;
  testing::ScriptedSteps steps{timeline, power};
  WorkerServices services = testing::AllSteps(windows, power, steps);
  testing::TimelineWorker worker{context, fakes.tools, services, timeline};
};

TEST_F(JobProtocolTest, JobsWithoutWork) {
  EXPECT_EQ(Run(JOB_PREPARE), (Events{"start PREPARE", "end PREPARE OK"}));
  EXPECT_EQ(Run(JOB_FINISH),
            (Events{"start PREPARE", "end PREPARE OK", "start FINISH", "end FINISH OK"}));
  EXPECT_FALSE(worker.QuitRequested());
}

TEST_F(JobProtocolTest, QuitJobReportsAndEndsTheLoop) {
  EXPECT_EQ(Run(JOB_QUIT), (Events{"start QUIT", "end QUIT OK"}));
  EXPECT_TRUE(worker.QuitRequested());
}

TEST_F(JobProtocolTest, UnknownJobGetsOnlyAnEndMessage) {
  for (uintptr_t job : {0x1060u, 0x106au, 0x1234u, 0u}) Run(job);
  EXPECT_EQ(timeline.Events(), Events(4, "end UNKNOWN OK"));
  EXPECT_FALSE(worker.QuitRequested());
}

TEST_F(JobProtocolTest, DiscJobWithComparison) {
  context.compareAfterWrite = 1;
  // JOB_WRITE_DISC_2 of a set of three: the disc number comes from the argument's low word.
  EXPECT_EQ(Run(JobWriteDisc(2), 0x00030002),
            (Events{"start DISC_JOB", "start BURN", "burn 2 power=1", "end BURN OK", "clean",
                    "start DISC_COMPARE", "compare 2 power=1 comparing", "end DISC_COMPARE OK",
                    "eject", "end DISC_JOB OK"}));
  EXPECT_EQ(context.comparing, 0u);
  EXPECT_EQ(power.OpenRequests(), 0);
}

TEST_F(JobProtocolTest, DiscJobWithoutComparison) {
  EXPECT_EQ(Run(JOB_WRITE_DISC_1, 1), (Events{"start DISC_JOB", "start BURN", "burn 1 power=1",
                                              "end BURN OK", "clean", "eject", "end DISC_JOB OK"}));
}

TEST_F(JobProtocolTest, FailedBurnStillEjectsAndSkipsTheComparison) {
  context.compareAfterWrite = 1;
  steps.results["burn"] = RESULT_BURN_FAILED;
  EXPECT_EQ(Run(JOB_WRITE_DISC_1, 1),
            (Events{"start DISC_JOB", "start BURN", "burn 1 power=1", "end BURN BURN_FAILED",
                    "clean", "eject", "end DISC_JOB BURN_FAILED"}));
  EXPECT_FALSE(worker.QuitRequested());
}

TEST_F(JobProtocolTest, StoppedBurnEndsTheWorkerAfterCleaningAndEjecting) {
  context.compareAfterWrite = 1;
  steps.results["burn"] = RESULT_STOPPED;
  EXPECT_EQ(Run(JOB_WRITE_DISC_1, 1),
            (Events{"start DISC_JOB", "start BURN", "burn 1 power=1", "end BURN STOPPED", "clean",
                    "eject", "end DISC_JOB STOPPED"}));
  EXPECT_TRUE(worker.QuitRequested());
  EXPECT_EQ(power.OpenRequests(), 0);
}

TEST_F(JobProtocolTest, ComparisonResultIsTheJobResult) {
  context.compareAfterWrite = 1;
  steps.results["compare"] = RESULT_COMPARE_MISMATCH;
  const Events events = Run(JOB_WRITE_DISC_1, 1);
  EXPECT_EQ(events.back(), "end DISC_JOB COMPARE_MISMATCH");
  EXPECT_EQ(events[events.size() - 2], "eject") << "the disc leaves after it was compared";
  EXPECT_FALSE(worker.QuitRequested());
}

TEST_F(JobProtocolTest, StoppedComparisonEndsTheWorker) {
  context.compareAfterWrite = 1;
  steps.results["compare"] = RESULT_STOPPED;
  const Events events = Run(JOB_WRITE_DISC_1, 1);
  EXPECT_EQ(events.back(), "end DISC_JOB STOPPED");
  EXPECT_TRUE(worker.QuitRequested());
  EXPECT_EQ(context.comparing, 0u);
}

TEST_F(JobProtocolTest, NoEjectKeepsTheDiscOnEveryPath) {
  context.noEject = 1;
  Run(JOB_WRITE_DISC_1, 1);
  steps.results["burn"] = RESULT_BURN_FAILED;
  Run(JOB_WRITE_DISC_1, 1);
  steps.results["burn"] = RESULT_STOPPED;
  Run(JOB_WRITE_DISC_1, 1);
  for (const auto& event : timeline.Events()) EXPECT_NE(event, "eject");
}

TEST_F(JobProtocolTest, UsbJobWithoutComparison) {
  steps.usbProgress = {0, 500, 990};
  EXPECT_EQ(Run(JOB_WRITE_USB),
            (Events{"start USB_JOB", "start USB_WRITE", "end USB_WRITE_PROGRESS 0",
                    "end USB_WRITE_PROGRESS 500", "end USB_WRITE_PROGRESS 990", "usb power=1",
                    "end USB_WRITE OK", "start USB_MD5_CHECK", "md5 power=1",
                    "end USB_MD5_CHECK OK", "clean", "end USB_JOB OK"}));
  EXPECT_EQ(power.OpenRequests(), 0);
}

TEST_F(JobProtocolTest, UsbJobWithComparison) {
  context.compareAfterWrite = 1;
  EXPECT_EQ(Run(JOB_WRITE_USB),
            (Events{"start USB_JOB", "start USB_WRITE", "usb power=1", "end USB_WRITE OK",
                    "start USB_MD5_CHECK", "md5 power=1", "end USB_MD5_CHECK OK", "clean",
                    "start USB_COMPARE", "usbcompare power=1 comparing", "end USB_COMPARE OK",
                    "end USB_JOB OK"}));
  EXPECT_EQ(context.comparing, 0u);
}

TEST_F(JobProtocolTest, FailedUsbWriteSkipsTheChecks) {
  context.compareAfterWrite = 1;
  steps.results["usb"] = RESULT_STEP_FAILED;
  EXPECT_EQ(Run(JOB_WRITE_USB),
            (Events{"start USB_JOB", "start USB_WRITE", "usb power=1", "end USB_WRITE STEP_FAILED",
                    "clean", "mark", "end USB_JOB STEP_FAILED"}));
  EXPECT_EQ(context.usbMarkedIncomplete, 0u) << "the step had no stick to mark";
}

TEST_F(JobProtocolTest, AStickOfAFailedOrStoppedJobIsMarkedAndAGoodOneIsNot) {
  steps.marks = true;
  Run(JOB_WRITE_USB);
  for (const auto& event : timeline.Events()) EXPECT_NE(event, "mark");
  EXPECT_EQ(context.usbMarkedIncomplete, 0u);

  steps.results["usbcompare"] = RESULT_COMPARE_MISMATCH;
  context.compareAfterWrite = 1;
  const Events events = Run(JOB_WRITE_USB);
  EXPECT_EQ(events[events.size() - 2], "mark") << "after the last check";
  EXPECT_EQ(context.usbMarkedIncomplete, 1u);
}

TEST_F(JobProtocolTest, FailedMd5CheckSkipsTheComparison) {
  context.compareAfterWrite = 1;
  steps.results["md5"] = RESULT_CHECK_FAILED;
  const Events events = Run(JOB_WRITE_USB);
  EXPECT_EQ(events[events.size() - 3], "clean");
  EXPECT_EQ(events[events.size() - 2], "mark");
  EXPECT_EQ(events.back(), "end USB_JOB CHECK_FAILED");
}

TEST_F(JobProtocolTest, StoppedUsbStepsEndTheWorker) {
  for (const std::string stopped : {"usb", "md5"}) {
    testing::Timeline own;
    testing::TimelineWindows ownWindows{own};
    testing::ScriptedSteps ownSteps{own, power};
    WorkerServices ownServices = testing::AllSteps(ownWindows, power, ownSteps);
    testing::TimelineWorker ownWorker{context, fakes.tools, ownServices, own};
    ownWorker.m_pReportWnd = reinterpret_cast<WindowHandle>(1);
    context.compareAfterWrite = 1;
    ownSteps.results[stopped] = RESULT_STOPPED;
    ownWorker.RunJob(JOB_WRITE_USB, 0);
    const Events events = own.Events();
    EXPECT_EQ(events[events.size() - 3], "clean") << stopped;
    EXPECT_EQ(events[events.size() - 2], "mark") << stopped << ": a stopped job leaves no stick";
    EXPECT_EQ(events.back(), "end USB_JOB STOPPED") << stopped;
    EXPECT_TRUE(ownWorker.QuitRequested()) << stopped;
  }
  EXPECT_EQ(power.OpenRequests(), 0);
}

TEST_F(JobProtocolTest, JobRunsOnWhenTheReportWindowIsDestroyed) {
  context.compareAfterWrite = 1;
  windows.destroyAfterPosts = 2;  // gone after "start DISC_JOB", "start BURN"
  EXPECT_EQ(Run(JOB_WRITE_DISC_1, 1), (Events{"start DISC_JOB", "start BURN", "burn 1 power=1",
                                              "clean", "compare 1 power=1 comparing", "eject"}));
  EXPECT_EQ(worker.m_pReportWnd.load(), nullptr);
}

TEST_F(JobProtocolTest, PowerRequestKeepsSystemAndDisplayAwake) {
  Run(JOB_WRITE_USB);
  using Kind = RecordingPowerRequests::Call::Kind;
  using Type = platform::PowerRequests::Type;
  const auto calls = power.Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].kind, Kind::kCreate);
  EXPECT_EQ(calls[1].kind, Kind::kSet);
  EXPECT_EQ(calls[1].type, Type::kSystemRequired);
  EXPECT_EQ(calls[2].type, Type::kDisplayRequired);
  EXPECT_EQ(calls[3].kind, Kind::kClear);
  EXPECT_EQ(calls[4].kind, Kind::kClear);
  EXPECT_EQ(calls[5].kind, Kind::kClose);
  EXPECT_EQ(power.LastReason(), L"Kestrune is running.");
}

TEST_F(JobProtocolTest, JobRunsWithoutAPowerRequestTheSystemRefuses) {
  power.FailCreates(1);
  EXPECT_EQ(Run(JOB_WRITE_DISC_1, 1).back(), "end DISC_JOB OK");
  EXPECT_TRUE(power.Calls().empty());
}

TEST_F(JobProtocolTest, FailedClearIsRetriedOnce) {
  power.FailClears(1);
  Run(JOB_WRITE_DISC_1, 1);
  int clears = 0;
  for (const auto& call : power.Calls())
    clears += call.kind == RecordingPowerRequests::Call::Kind::kClear;
  EXPECT_EQ(clears, 3);
  EXPECT_EQ(power.OpenRequests(), 0);
}

}  // namespace
}  // namespace kestrune
