#include "app/tool_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/test_support.h"
#include "platform/host/host_process_launcher.h"

namespace kestrune {
namespace {

using testing::FakeLauncher;
using testing::TempFolder;

struct Outcome {
  bool returned;
  int gotExitCode;
  uint32_t exitCode;
};

class ToolRunnerFakeTest : public ::testing::Test {
 protected:
  Outcome Run(bool cancellable) {
    Outcome outcome{false, -1, 0xdeadbeef};
    outcome.returned = RunTool(launcher, &stopEvent, L"7z.exe", L"x a.iso", L"/work",
                               &outcome.gotExitCode, &outcome.exitCode, cancellable);
    return outcome;
  }

  FakeLauncher launcher;
  platform::AutoResetEvent stopEvent;
};

TEST_F(ToolRunnerFakeTest, PassesTheRequestToTheLauncher) {
  launcher.child.endsAfterWaits = 1;
  Run(false);
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0].program, L"7z.exe");
  EXPECT_EQ(launcher.calls[0].parameters, L"x a.iso");
  EXPECT_EQ(launcher.calls[0].folder, L"/work");
}

TEST_F(ToolRunnerFakeTest, ProcessThatCannotStart) {
  launcher.outcome = FakeLauncher::Outcome::kCannotStart;
  launcher.startError = 5;
  const auto outcome = Run(true);
  EXPECT_FALSE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 0);
  EXPECT_EQ(outcome.exitCode, 5u);

  // The start error is stored even when only the exit code is asked for.
  uint32_t exitCode = 0;
  EXPECT_FALSE(RunTool(launcher, nullptr, L"x", L"", L"", nullptr, &exitCode, false));
  EXPECT_EQ(exitCode, 5u);
}

TEST_F(ToolRunnerFakeTest, ProcessThatRanToItsEnd) {
  launcher.child = {.endsAfterWaits = 3, .exitCodeReadable = true, .exitCode = 7};
  const auto outcome = Run(false);
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 1);
  EXPECT_EQ(outcome.exitCode, 7u);
  EXPECT_EQ(launcher.childRecord.waits, 3);
}

TEST_F(ToolRunnerFakeTest, EachSecondIsCalledForEverySliceTheChildStillRuns) {
  launcher.child = {.endsAfterWaits = 3, .exitCodeReadable = true, .exitCode = 0};
  int calls = 0;
  int got = 0;
  uint32_t code = 1;
  EXPECT_TRUE(RunTool(launcher, &stopEvent, L"x", L"", L"", &got, &code, true, {},
                      [&] { ++calls; }));
  EXPECT_EQ(calls, 2) << "not after the wait that saw the end";

  // A stop ends the run before it is told of another second.
  launcher.child.endsAfterWaits.reset();
  calls = 0;
  EXPECT_FALSE(RunTool(launcher, &stopEvent, L"x", L"", L"", &got, &code, true, {}, [&] {
    if (++calls == 2) stopEvent.Set();
  }));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(code, kStoppedExitCode);
}

TEST_F(ToolRunnerFakeTest, ExitCodeThatCannotBeRead) {
  launcher.child = {.endsAfterWaits = 1, .exitCodeReadable = false, .exitCode = 0};
  const auto outcome = Run(false);
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 0);
  EXPECT_FALSE(RunSucceeded(outcome.returned, outcome.gotExitCode, outcome.exitCode));
}

TEST_F(ToolRunnerFakeTest, NoProcessToWaitFor) {
  launcher.outcome = FakeLauncher::Outcome::kNoProcess;
  const auto outcome = Run(true);
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 0);
  EXPECT_EQ(outcome.exitCode, 0u);
}

TEST_F(ToolRunnerFakeTest, ExitCodeIsStoredOnlyWhenBothOutValuesAreGiven) {
  launcher.child = {.endsAfterWaits = 1, .exitCodeReadable = true, .exitCode = 9};
  uint32_t exitCode = 1234;
  EXPECT_TRUE(RunTool(launcher, nullptr, L"x", L"", L"", nullptr, &exitCode, false));
  EXPECT_EQ(exitCode, 0u);
  int gotExitCode = 1234;
  EXPECT_TRUE(RunTool(launcher, nullptr, L"x", L"", L"", &gotExitCode, nullptr, false));
  EXPECT_EQ(gotExitCode, 0);
}

TEST_F(ToolRunnerFakeTest, StopEventCancelsACancellableRun) {
  launcher.child.endsAfterWaits.reset();  // never ends by itself
  stopEvent.Set();
  const auto outcome = Run(true);
  EXPECT_FALSE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 1);
  EXPECT_EQ(outcome.exitCode, 0xffffu);
  EXPECT_EQ(launcher.childRecord.terminatedWith, 0xffffu);
  EXPECT_FALSE(stopEvent.TryConsume()) << "the run consumes the stop signal";
}

TEST_F(ToolRunnerFakeTest, StopEventDoesNotTouchARunThatIsNotCancellable) {
  launcher.child = {.endsAfterWaits = 4, .exitCodeReadable = true, .exitCode = 0};
  stopEvent.Set();
  const auto outcome = Run(false);
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.gotExitCode, 1);
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_FALSE(launcher.childRecord.terminatedWith.has_value());
  EXPECT_TRUE(stopEvent.TryConsume()) << "the signal stays for whoever waits next";
}

TEST_F(ToolRunnerFakeTest, OwnerWithoutStopEventCannotBeCancelled) {
  launcher.child = {.endsAfterWaits = 2, .exitCodeReadable = true, .exitCode = 0};
  int got = 0;
  uint32_t code = 1;
  EXPECT_TRUE(RunTool(launcher, nullptr, L"x", L"", L"", &got, &code, true));
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 0u);
}

// The same rules with real child processes.
class ToolRunnerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.WriteFile("tool.sh", "#!/bin/sh\n[ \"$1\" = sleep ] && exec sleep 60\nexit \"$1\"\n");
    std::filesystem::permissions(folder.path() / "tool.sh", std::filesystem::perms::owner_all);
  }

  std::wstring Tool() const { return testing::Wide(folder.path() / "tool.sh"); }

  TempFolder folder;
  platform::host::HostProcessLauncher launcher{"/bin/false", {}};
  platform::AutoResetEvent stopEvent;
};

TEST_F(ToolRunnerProcessTest, ReportsTheChildsExitCode) {
  int got = 0;
  uint32_t code = 0;
  EXPECT_TRUE(RunTool(launcher, &stopEvent, Tool(), L"3", testing::Wide(folder.path()), &got,
                      &code, true));
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 3u);
}

TEST_F(ToolRunnerProcessTest, MissingProgramCannotStart) {
  int got = 7;
  uint32_t code = 0;
  EXPECT_FALSE(RunTool(launcher, nullptr, testing::Wide(folder.path() / "absent.exe"), L"", testing::Wide(folder.path()), &got,
                       &code, false));
  EXPECT_EQ(got, 0);
  EXPECT_EQ(code, 2u);  // file not found
}

TEST_F(ToolRunnerProcessTest, StopEndsASleepingChildWithinAboutASecond) {
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stopEvent.Set();
  });
  const auto start = std::chrono::steady_clock::now();
  int got = 0;
  uint32_t code = 0;
  const bool returned = RunTool(launcher, &stopEvent, Tool(), L"sleep",
                                testing::Wide(folder.path()), &got, &code, true);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_FALSE(returned);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 0xffffu);
  // Generous bound: the rule is "about a second", a sleeping child would take a minute.
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

}  // namespace
}  // namespace kestrune
