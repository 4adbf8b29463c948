#include "wizard/disc_prompt.h"

#include <gtest/gtest.h>

#include "devices/recorders.h"
#include "wizard/vantor_sheet.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune {
namespace {

using testing::WizardHarness;
using Ids = std::vector<uint32_t>;

/// The prompt can be destroyed at any moment of its procedure (the burn starts, the page
/// ends): it then posts nothing, and the object lives on until the procedure has returned.
class PromptDestructionTest : public ::testing::Test {
 protected:
  /// As the worker would when a burn starts: the page destroys its prompt.
  void BurnStarts() { h.toolkit.loop().Post(h.toolkit.SheetWindow(), WM_JOB_START, STEP_BURN, 0); }
  bool SheetEnabled() { return h.toolkit.IsWindowEnabled(h.toolkit.SheetWindow()); }

  WizardHarness h{1};
};

TEST_F(PromptDestructionTest, DuringTheScanTheBoxEndsAndNothingIsPosted) {
  h.devices.mediaChecks = {MEDIA_NO_DISC};
  bool sheetDisabledWhileScanning = false;
  h.devices.onPoll = [&] {
    if (h.devices.mediaPolls != 1) return;
    sheetDisabledWhileScanning = !SheetEnabled();
    BurnStarts();
  };
  h.GoToWritePage(0b1);
  ASSERT_TRUE(
      h.PumpUntil([&] { return h.devices.mediaPolls == 1 && h.write->prompt() == nullptr; }));
  h.Pump();
  EXPECT_TRUE(sheetDisabledWhileScanning);
  EXPECT_EQ(h.devices.mediaPolls, 1) << "the scan box ended at once";
  EXPECT_TRUE(h.BoxIds().empty()) << "no request for a disc";
  EXPECT_EQ(h.write->prompt(), nullptr);
  EXPECT_TRUE(SheetEnabled());
  EXPECT_FALSE(CDlg_030_DriveSpeed::promptBusy);
  EXPECT_EQ(h.Count("burn 1 power=1"), 0) << "no disc job without a ready disc";
}

TEST_F(PromptDestructionTest, DuringTheRequestTheAnswerIsNotActedOn) {
  h.devices.mediaChecks = {MEDIA_NO_DISC};
  h.whileOpen[469] = [&] {
    BurnStarts();
    h.Pump();
    EXPECT_TRUE(SheetEnabled()) << "released at once";
  };
  h.answers = {wm::kIdOk};
  h.GoToWritePage(0b1);
  ASSERT_TRUE(h.PumpUntil([&] { return !h.boxes.empty(); }));
  h.Pump();
  EXPECT_EQ(h.BoxIds(), Ids{469});
  EXPECT_EQ(h.devices.mediaPolls, 15) << "OK did not start another scan";
  EXPECT_EQ(h.write->prompt(), nullptr);
  EXPECT_FALSE(CDlg_030_DriveSpeed::promptBusy);
}

TEST_F(PromptDestructionTest, APromptArrivingDuringAPromptIsDropped) {
  h.devices.mediaChecks = {MEDIA_NOT_BLANK, MEDIA_READY};
  h.whileOpen[469] = [&] {
    h.toolkit.loop().Post(h.write->prompt()->window(), WM_PROMPT_DISC, 1, 0);
    h.Pump();
  };
  h.answers = {wm::kIdOk};
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.devices.mediaPolls, 2) << "one scan for the refused disc, one after OK";
  EXPECT_EQ(h.Count("burn 1 power=1"), 1);
}

TEST(PromptTest, TheDiscTypeAndDriveAreNamedInTheRequest) {
  WizardHarness h(2);
  h.devices.mediaChecks = {MEDIA_NOT_BLANK, MEDIA_READY};
  h.answers = {wm::kIdOk, wm::kIdOk};
  h.GoToWritePage(0b11);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  ASSERT_GE(h.boxes.size(), 2u);
  EXPECT_EQ(h.boxes[0].id, 469u);
  EXPECT_EQ(h.boxes[0].text,
            L"Writing recovery disc #1 (1/2).\nInsert a blank DVD-R DL disc into the E drive and "
            L"click OK.");
  EXPECT_EQ(h.boxes[0].flags & wm::kMbButtonsMask, wm::kMbOkCancel);
}

}  // namespace
}  // namespace kestrune
