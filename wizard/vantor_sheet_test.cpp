#include "wizard/vantor_sheet.h"

#include <gtest/gtest.h>

#include "wizard/string_ids.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune {
namespace {

using testing::WizardHarness;
using Ids = std::vector<uint32_t>;

TEST(DeviceChangeTest, VolumeNotificationsBecomeTheWizardsDeviceEvents) {
  const struct {
    uint32_t event;
    uint16_t flags;
    uintptr_t expected;
  } cases[] = {{wm::kDbtDeviceArrival, wm::kDbtfMedia, kDeviceEventMediaArrived},
               {wm::kDbtDeviceArrival, 0, kDeviceEventVolumeArrived},
               {wm::kDbtDeviceRemoveComplete, wm::kDbtfMedia, kDeviceEventMediaRemoved},
               {wm::kDbtDeviceRemoveComplete, 0, kDeviceEventVolumeRemoved}};
  for (const auto& c : cases) {
    const wm::DeviceBroadcast volume{wm::kDbtDevTypVolume, 0x10, c.flags};
    uintptr_t event = 0;
    intptr_t mask = 0;
    ASSERT_TRUE(TranslateDeviceChange(c.event, &volume, event, mask));
    EXPECT_EQ(event, c.expected);
    EXPECT_EQ(mask, 0x10);
  }
  uintptr_t event = 0;
  intptr_t mask = -1;
  EXPECT_TRUE(TranslateDeviceChange(wm::kDbtDevNodesChanged, nullptr, event, mask));
  EXPECT_EQ(event, kDeviceEventNodesChanged);
  EXPECT_EQ(mask, 0);

  const wm::DeviceBroadcast port{3, 0, 0};
  EXPECT_FALSE(TranslateDeviceChange(wm::kDbtDeviceArrival, &port, event, mask));
  EXPECT_FALSE(TranslateDeviceChange(wm::kDbtDeviceArrival, nullptr, event, mask));
  EXPECT_FALSE(TranslateDeviceChange(0x8006, nullptr, event, mask));
}

TEST(SheetTest, TheFirstPagesCloseWithoutAQuestion) {
  WizardHarness h;
  h.Open();
  EXPECT_EQ(h.toolkit.RequestClose(), "");
  EXPECT_TRUE(h.toolkit.SheetEnded());
  EXPECT_TRUE(h.boxes.empty());

  WizardHarness info;
  info.Open();
  info.Next();
  EXPECT_EQ(info.toolkit.PressCancel(), "");
  EXPECT_TRUE(info.toolkit.SheetEnded());
  EXPECT_TRUE(info.boxes.empty());
}

TEST(SheetTest, TheDrivePageAsksBeforeClosing) {
  WizardHarness h;
  h.GoToDrivePage();
  h.toolkit.PressCancel();
  EXPECT_FALSE(h.toolkit.SheetEnded()) << "No is the default";
  ASSERT_EQ(h.BoxIds(), Ids{400});
  EXPECT_EQ(h.boxes[0].flags, wm::kMbYesNo | wm::kMbDefButton2);
  h.answers = {wm::kIdYes};
  h.toolkit.RequestClose();
  EXPECT_TRUE(h.toolkit.SheetEnded());
}

TEST(SheetTest, StartingShowsOnlyNextAndTellsTheWorkerWhereToReport) {
  WizardHarness h;
  h.Open();
  EXPECT_EQ(h.toolkit.WizardButtons(), wm::kWizButtonNext);
  EXPECT_EQ(h.run.sheetWnd.load(), h.toolkit.SheetWindow());
  EXPECT_EQ(h.sheet->worker()->m_pReportWnd.load(), h.toolkit.SheetWindow());
  EXPECT_TRUE(h.sheet->shown());
  h.Next();
  h.Back();
  EXPECT_EQ(h.toolkit.WizardButtons(), wm::kWizButtonNext) << "back on Start: Next only";
}

TEST(SheetTest, LoggedOnUsersAreEnumeratedBatchByBatch) {
  WizardHarness h;
  h.users.batches = {{L"Kestrel", L"Wren"}, {L"Kestrel"}};
  h.Open();
  EXPECT_EQ(h.users.calls, 2);
  ASSERT_NE(h.sheet->users, nullptr);

  WizardHarness failing;
  failing.users.failure = 5;
  failing.Open();
  EXPECT_EQ(failing.users.calls, 1);
  EXPECT_NE(failing.sheet->users, nullptr) << "the list stays, empty";
}

TEST(SheetTest, DestroyingTheSheetRestoresAutoplayAndStopsTheWorker) {
  WizardHarness h;
  h.Open();
  h.toolkit.CloseSheet(2);
  EXPECT_EQ(h.sheet->users, nullptr);
  EXPECT_EQ(h.run.sheetWnd.load(), nullptr);
  EXPECT_TRUE(h.sheet->worker()->WaitForEnd(std::chrono::seconds(5)))
      << "the stop event ends the idle worker";
}

TEST(SheetTest, ASessionEndRestoresAutoplayAndStopsTheWorker) {
  WizardHarness h;
  h.Open();
  h.toolkit.EndSession(0);
  EXPECT_EQ(h.sheet->users, nullptr);
  EXPECT_TRUE(h.sheet->worker()->WaitForEnd(std::chrono::seconds(5)));
  EXPECT_EQ(h.QuitCode(), 0);
}

/// The Write page with the burn of disc 1 (of 2) held at the gate.
class ClosingWhileWritingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.steps.Close();
    h.GoToWritePage(0b11);
    ASSERT_TRUE(h.PumpUntil([&] { return h.steps.Waiting(); }));
    h.Pump();
    h.boxes.clear();
  }
  void TearDown() override { h.steps.Open(); }

  /// Presses Cancel; true when the sheet closed.
  bool Cancel() {
    EXPECT_EQ(h.toolkit.PressCancel(), "");
    return h.toolkit.SheetEnded();
  }

  WizardHarness h{2};
};

TEST_F(ClosingWhileWritingTest, ARunningBurnIsCancelledOnlyAfterQuestion402) {
  h.imapi.burning = 1;
  EXPECT_FALSE(Cancel());
  ASSERT_EQ(h.BoxIds(), Ids{402});
  EXPECT_EQ(h.boxes[0].flags, wm::kMbYesNo | wm::kMbDefButton2);
  EXPECT_EQ(h.run.cancelRequested.load(), 0u);

  h.answers = {wm::kIdYes};
  EXPECT_TRUE(Cancel());
  EXPECT_EQ(h.run.cancelRequested.load(), 1u);
  EXPECT_EQ(h.imapi.exitRequested.load(), 1u);
}

TEST_F(ClosingWhileWritingTest, FinalizationAndComparisonCannotBeLeft) {
  h.imapi.burning = 1;
  h.run.finalizing = 1;
  EXPECT_FALSE(Cancel());
  h.imapi.burning = 0;
  h.run.finalizing = 0;
  h.run.comparing = 1;
  h.answers = {wm::kIdYes};
  h.toolkit.RequestClose();
  EXPECT_FALSE(h.toolkit.SheetEnded());
  EXPECT_EQ(h.BoxIds(), (Ids{407, 408}));
  EXPECT_EQ(h.boxes[0].flags & wm::kMbButtonsMask, wm::kMbOk);
  EXPECT_EQ(h.run.cancelRequested.load(), 0u);
}

TEST_F(ClosingWhileWritingTest, TheStateIsCheckedAgainAfterTheAnswer) {
  h.answers = {wm::kIdYes};
  h.whileOpen[401] = [&] { h.run.comparing = 1; };
  EXPECT_FALSE(Cancel());
  EXPECT_EQ(h.BoxIds(), (Ids{401, 408}));

  h.run.comparing = 0;
  h.answers = {wm::kIdYes};
  h.whileOpen[402] = [&] { h.run.finalizing = 1; };
  h.imapi.burning = 1;
  EXPECT_FALSE(Cancel());
  EXPECT_EQ(h.BoxIds(), (Ids{401, 408, 402, 407}));
}

TEST_F(ClosingWhileWritingTest, ABurnThatStartedDuringQuestion401GetsItsOwnQuestion) {
  h.answers = {wm::kIdYes, wm::kIdNo};
  h.whileOpen[401] = [&] { h.imapi.burning = 1; };
  EXPECT_FALSE(Cancel());
  EXPECT_EQ(h.BoxIds(), (Ids{401, 402}));
  EXPECT_EQ(h.run.cancelRequested.load(), 0u) << "the burn goes on";
}

TEST_F(ClosingWhileWritingTest, WritingJobsWaitWhileTheUserIsAsked) {
  const WindowHandle sheet = h.toolkit.SheetWindow();
  h.whileOpen[401] = [&] {
    h.toolkit.loop().Post(sheet, WM_JOB_REQUEST, JobWriteDisc(2), (2 << 16) | 2);
    h.Pump();
    h.steps.Open();
    EXPECT_TRUE(h.PumpUntil([&] { return (h.run.discState & 0x100) != 0; }))
        << "a disc finished meanwhile still gets its mark";
    EXPECT_EQ(h.Count("burn 2 power=1"), 0) << "held while the question is open";
  };
  h.answers = {wm::kIdOk /* 406, while 401 is open */, wm::kIdNo};
  EXPECT_FALSE(Cancel());
  EXPECT_EQ(h.BoxIds(), (Ids{406, 401}));
  EXPECT_TRUE(h.PumpUntil([&] { return h.Count("burn 2 power=1") == 1; }))
      << "released when the user stays";
}

TEST_F(ClosingWhileWritingTest, HeldJobsAreDroppedWhenTheUserLeaves) {
  const WindowHandle sheet = h.toolkit.SheetWindow();
  h.whileOpen[401] = [&] {
    h.toolkit.loop().Post(sheet, WM_JOB_REQUEST, JobWriteDisc(2), (2 << 16) | 2);
    h.Pump();
  };
  h.answers = {wm::kIdYes};
  EXPECT_TRUE(Cancel());
  h.steps.Open();
  h.sheet->stopEvent().Set();
  h.toolkit.CloseSheet(2);
  EXPECT_TRUE(h.sheet->worker()->WaitForEnd(std::chrono::seconds(5)));
  EXPECT_EQ(h.Count("burn 2 power=1"), 0);
}

TEST_F(ClosingWhileWritingTest, WhileAPageDialogIsOpenCloseRequestsAreRefused) {
  h.toolkit.EnableWindow(h.toolkit.SheetWindow(), false);
  EXPECT_EQ(h.toolkit.RequestClose(), "");
  EXPECT_FALSE(h.toolkit.SheetEnded());
  EXPECT_TRUE(h.boxes.empty());
  EXPECT_NE(h.toolkit.PressCancel(), "") << "a disabled sheet takes no clicks";
  h.toolkit.EnableWindow(h.toolkit.SheetWindow(), true);
}

TEST_F(ClosingWhileWritingTest, TerminateStopsRelayingAndEndsTheLoop) {
  h.sheet->Terminate(wizard_exit::kAborted, kStr473DvdDriveDisconnected, L"gone");
  EXPECT_EQ(h.sheet->live, 0);
  EXPECT_FALSE(h.toolkit.Window(h.toolkit.SheetWindow())->visible);
  EXPECT_EQ(h.run.cancelRequested.load(), 1u);
  EXPECT_EQ(h.imapi.exitRequested.load(), 1u);
  ASSERT_EQ(h.BoxIds(), Ids{473});
  EXPECT_EQ(h.boxes[0].flags, wm::kMbTopmost);
  EXPECT_EQ(h.QuitCode(), wizard_exit::kAborted);
  h.toolkit.RequestClose();
  EXPECT_EQ(h.BoxIds(), Ids{473}) << "after Terminate the close command is ignored";
}

}  // namespace
}  // namespace kestrune
