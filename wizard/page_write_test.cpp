#include "wizard/page_write.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>

#include "devices/recorders.h"
#include "platform/disc_service.h"
#include "wizard/vantor_sheet.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune {
namespace {

using testing::WizardHarness;
using Page = CPage_030_Write;
using Ids = std::vector<uint32_t>;

constexpr uint32_t kDisc1 = 0x100, kDisc2 = 0x200, kDisc3 = 0x400;
constexpr uint32_t kDualLayerSet = 0x2000000B;
constexpr uint32_t kComplete = 0x80000000;

std::vector<int> Images(const WizardHarness& h) {
  std::vector<int> images;
  for (const auto& row : h.Control(107, Page::kRows).rows) images.push_back(row.image);
  return images;
}

TEST(WritePageTest, AThreeDiscSetIsWrittenDiscByDiscAndEndsComplete) {
  WizardHarness h;
  h.GoToWritePage(0b111, true);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.Count("burn 1 power=1"), 1);
  EXPECT_EQ(h.Count("compare 3 power=1 comparing"), 1);
  EXPECT_EQ(h.BoxIds(), (Ids{406, 406, 406}));
  EXPECT_EQ(h.run.discState, kDisc1 | kDisc2 | kDisc3 | kDualLayerSet | kComplete);
  EXPECT_EQ(h.Control(107, Page::kRows).rows.size(), 5u) << "Preparing, three discs, Close";
  EXPECT_EQ(Images(h), (std::vector<int>{1, 1, 1, 1, 1}));
  EXPECT_FALSE(h.toolkit.Window(h.toolkit.SheetWindow())->Control(2)->enabled)
      << "no Cancel after the last disc";
  EXPECT_EQ(h.devices.mediaPolls, 3);
  EXPECT_EQ(h.Control(107, Page::kBar).position, 1000);
}

TEST(WritePageTest, PromptsCarryTheDiscNumberAndTheSetSize) {
  WizardHarness h;
  h.devices.mediaChecks = {MEDIA_NOT_BLANK, MEDIA_READY};
  uint32_t number = 0, count = 0;
  h.whileOpen[469] = [&] {
    number = h.write->prompt()->discNumber;
    count = h.write->prompt()->discCount;
  };
  h.answers = {wm::kIdOk};
  h.run.allowPartial = 1;
  h.GoToWritePage(0b110);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(number, 2u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(h.BoxIds(), (Ids{469, 406, 406})) << "the first prompt gives no reason";
  EXPECT_EQ(h.Control(107, Page::kRows).rows.size(), 4u);
  EXPECT_EQ(h.run.discState, kDisc2 | kDisc3 | kDualLayerSet)
      << "disc 1 was never written: the set is not complete";
}

TEST(WritePageTest, APartialSetNeverClaimsToBeComplete) {
  WizardHarness h(2);
  h.run.allowPartial = 1;
  h.GoToWritePage(0b01);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.run.discState, kDisc1 | kDualLayerSet);
}

TEST(WritePageTest, ContinuingAStartedSetCompletesIt) {
  WizardHarness h(2);
  h.run.discState = kDisc1 | kDualLayerSet;
  h.GoToWritePage(0b10);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.run.discState, kDisc1 | kDisc2 | kDualLayerSet | kComplete);
}

TEST(WritePageTest, AFailedBurnIsRetriedOnTheSameRow) {
  WizardHarness h(1);
  h.steps.results["burn"] = RESULT_BURN_FAILED;
  h.answers = {wm::kIdNo, wm::kIdNo, wm::kIdYes};
  int asked = 0;
  std::function<void()> onRetry = [&] {
    if (++asked == 2) h.steps.results["burn"] = RESULT_OK;
  };
  h.whileOpen[471] = onRetry;
  h.GoToWritePage(0b1);
  // After the first 471 the page asks 401, then 471 again.
  h.PumpUntil([&] { return h.BoxIds().size() >= 2; });
  h.whileOpen[471] = onRetry;
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.BoxIds(), (Ids{471, 401, 471, 406}));
  EXPECT_EQ(h.Count("burn 1 power=1"), 2);
  EXPECT_EQ(h.Control(107, Page::kRows).rows.size(), 3u) << "no new row for the retry";
  EXPECT_EQ(h.run.discState, kDisc1 | kDualLayerSet | kComplete);
}

TEST(WritePageTest, StoppingAfterAFailedBurnEndsAsStopped) {
  WizardHarness h(1);
  h.steps.results["burn"] = RESULT_BURN_FAILED;
  h.answers = {wm::kIdNo, wm::kIdYes};
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kStoppedAfterFailedWrite);
  EXPECT_EQ(h.BoxIds(), (Ids{471, 401}));
  EXPECT_EQ(h.boxes[0].flags, wm::kMbYesNo | wm::kMbDefButton2);
  EXPECT_EQ(Images(h)[1], Page::kImageFailed);
  EXPECT_EQ(h.run.discState, 0u);
  EXPECT_EQ(h.write->ignoreAppMessages, 1u);
}

TEST(WritePageTest, ABurnFailingBecauseTheUserLeftAsksNothing) {
  WizardHarness h(1);
  h.steps.results["burn"] = RESULT_BURN_FAILED;
  h.imapi.exitRequested = 1;
  h.GoToWritePage(0b1);
  h.PumpUntil([&] { return h.Count("eject") == 1; });
  h.Pump();
  EXPECT_TRUE(h.BoxIds().empty());
}

TEST(WritePageTest, ACompareMismatchEndsTheWizardWithMessage483) {
  WizardHarness h(2);
  h.steps.results["compare"] = RESULT_COMPARE_MISMATCH;
  h.GoToWritePage(0b11, true);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted);
  EXPECT_EQ(h.BoxIds(), (Ids{483}));
  EXPECT_EQ(h.boxes[0].flags & wm::kMbTopmost, wm::kMbTopmost);
  EXPECT_EQ(h.Count("burn 2 power=1"), 0);
}

TEST(WritePageTest, CancellingThePromptAsksAndEitherEndsOrPromptsAgain) {
  WizardHarness h(1);
  h.devices.mediaChecks = {MEDIA_NO_DISC};
  h.answers = {wm::kIdCancel, wm::kIdNo, wm::kIdOk, wm::kIdCancel, wm::kIdYes};
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted);
  EXPECT_EQ(h.BoxIds(), (Ids{469, 401, 465, 469, 401})) << "the second prompt says why";
  EXPECT_EQ(h.Count("burn 1 power=1"), 0);
}

TEST(WritePageTest, TheScanGivesUpAfterThirtySeconds) {
  WizardHarness h(1);
  h.devices.mediaChecks = {MEDIA_NO_DISC};
  h.answers = {wm::kIdCancel, wm::kIdYes};
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted);
  EXPECT_EQ(h.devices.mediaPolls, 15) << "at once, then every 2 s until the 30 s limit";
}

TEST(WritePageTest, ADataDiscIsRefusedAtOnceWithItsReason) {
  WizardHarness h(1);
  h.devices.mediaChecks = {MEDIA_READY};
  h.GoToWritePage(0b1);
  ASSERT_EQ(h.RunToQuit(), wizard_exit::kComplete);

  WizardHarness again(1);
  again.devices.mediaChecks = {MEDIA_UNUSABLE, MEDIA_WRONG_TYPE, MEDIA_NOT_BLANK, MEDIA_READY};
  again.answers = {wm::kIdOk, wm::kIdOk, wm::kIdOk, wm::kIdOk, wm::kIdOk, wm::kIdOk};
  again.GoToWritePage(0b1);
  EXPECT_EQ(again.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(again.BoxIds(), (Ids{469, 467, 469, 466, 469, 406}));
  EXPECT_EQ(again.devices.mediaPolls, 4);
}

TEST(WritePageTest, OneDiscJobPerPrompt) {
  WizardHarness h(1);
  h.steps.Close();
  h.GoToWritePage(0b1);
  h.PumpUntil([&] { return h.steps.Waiting(); });
  EXPECT_FALSE(h.write->awaitingDisc());
  // A late or repeated "disc ready", or a removed disc, starts nothing more.
  h.toolkit.loop().Post(h.toolkit.SheetWindow(), WM_PROMPT_DISC_DONE, 1, 0);
  h.toolkit.loop().Post(h.WritePage(), WM_DEVICE_EVENT, kDeviceEventMediaRemoved, 1 << 4);
  h.Pump();
  h.steps.Open();
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.Count("burn 1 power=1"), 1);
  EXPECT_EQ(h.devices.mediaPolls, 1);
}

TEST(WritePageTest, RemovingTheDiscWhileWaitingPromptsAgain) {
  WizardHarness h(1);
  h.devices.mediaChecks = {MEDIA_NOT_BLANK, MEDIA_READY};
  h.whileOpen[469] = [&] {
    h.toolkit.loop().Post(h.WritePage(), WM_DEVICE_EVENT, kDeviceEventMediaRemoved, 1 << 4);
  };
  h.answers = {wm::kIdCancel, wm::kIdNo};
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  // The removal re-prompted while the user was being asked: one more scan found the disc.
  EXPECT_EQ(h.Count("burn 1 power=1"), 1);
  EXPECT_EQ(h.devices.mediaPolls, 2);
}

TEST(WritePageTest, TheDiscDriveDisappearingOutsideABurnEndsTheWizard) {
  WizardHarness h(1);
  h.devices.mediaChecks = {MEDIA_NOT_BLANK};
  h.whileOpen[469] = [&] {
    h.toolkit.loop().Post(h.WritePage(), WM_DEVICE_EVENT, kDeviceEventVolumeRemoved, 1 << 5);
    h.toolkit.loop().Post(h.WritePage(), WM_DEVICE_EVENT, kDeviceEventVolumeRemoved, 1 << 4);
  };
  h.GoToWritePage(0b1);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted);
  EXPECT_EQ(h.BoxIds(), (Ids{469, 473}));
  EXPECT_EQ(h.write->prompt(), nullptr);
}

TEST(WritePageTest, AUsbDriveIsWrittenCheckedAndClosed) {
  WizardHarness h;
  h.steps.usbProgress = {100, 500, 990};
  h.GoToWritePageForUsb(true);
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
  EXPECT_EQ(h.Count("usb power=1"), 1);
  EXPECT_EQ(h.Count("md5 power=1"), 1);
  EXPECT_EQ(h.Count("usbcompare power=1 comparing"), 1);
  EXPECT_EQ(h.run.discState, kComplete) << "a USB drive gains only the completion bit";
  EXPECT_EQ(h.Control(107, Page::kRows).rows.size(), 3u) << "Preparing, the USB drive, Close";
  EXPECT_EQ(Images(h), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(h.Count("start FINISH"), 0) << "(reports go to the sheet, not the timeline)";
  EXPECT_TRUE(h.BoxIds().size() == 1 && h.BoxIds()[0] == 266) << "no completion message";
  EXPECT_TRUE(h.toolkit.Window(h.toolkit.SheetWindow())->Control(2)->enabled);
}

TEST(WritePageTest, EachUsbFailureHasItsMessage) {
  const struct {
    const char* step;
    uint32_t result;
    uint32_t message;
    uint32_t markedMessage;  ///< when the job built the stick and marked it incomplete
  } cases[] = {{"usb", RESULT_STEP_FAILED, 475, 491},
               {"md5", RESULT_CHECK_FAILED, 482, 492},
               {"usbcompare", RESULT_COMPARE_MISMATCH, 483, 493}};
  for (const bool marked : {false, true}) {
    for (const auto& c : cases) {
      WizardHarness h;
      h.steps.results[c.step] = c.result;
      h.steps.marks = marked;
      h.GoToWritePageForUsb(true);
      EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted) << c.step;
      EXPECT_EQ(h.BoxIds(), (Ids{266, marked ? c.markedMessage : c.message})) << c.step;
      EXPECT_EQ(h.run.discState, 0u);
    }
  }
}

TEST(WritePageTest, AUsbJobRefusedBeforeTheWipeSaysWhyAndThatTheStickIsUnchanged) {
  const struct {
    uint32_t result;
    uint32_t message;
    std::wstring expected;  ///< what the message says of the problem
  } cases[] = {
      {RESULT_USB_DRIVE_CHANGED, 276, L"disconnected"},
      {RESULT_USB_TOOLS_FAILED, 485, L"not changed"},
      {RESULT_USB_NOT_AN_ARCHIVE, 486, L"disc1.iso"},
      {RESULT_USB_SET_TOO_LARGE, 487, L"needs 9000 MB"},
      {RESULT_USB_FILE_TOO_LARGE, 488, L"file sources\\big.wim in the disc image disc1.iso"},
      {RESULT_WORK_DRIVE_TOO_SMALL, 489, L"about 12 GB"},
      {RESULT_WORK_DRIVE_FULL, 490, L"(C: drive)"}};
  for (const auto& c : cases) {
    WizardHarness h;
    h.steps.results["usb"] = c.result;
    h.run.problem.name.Assign(c.result == RESULT_USB_FILE_TOO_LARGE ? L"sources\\big.wim"
                                                                    : L"disc1.iso");
    h.run.problem.place.Assign(c.result == RESULT_USB_FILE_TOO_LARGE ? L"disc1.iso" : L"C:");
    h.run.problem.needed = c.result == RESULT_WORK_DRIVE_TOO_SMALL ? 12 : 9000;
    h.run.problem.available = 8500;
    h.GoToWritePageForUsb(true);
    EXPECT_EQ(h.RunToQuit(), wizard_exit::kAborted);
    ASSERT_EQ(h.BoxIds(), (Ids{266, c.message}));
    EXPECT_NE(h.boxes[1].text.find(c.expected), std::wstring::npos) << h.boxes[1].text;
  }
}

TEST(WritePageTest, ARemovedUsbVolumeIsNotADisconnectedDiscDrive) {
  WizardHarness h;
  h.steps.Close();
  h.GoToWritePageForUsb();
  h.Pump();
  h.toolkit.loop().Post(h.WritePage(), WM_DEVICE_EVENT, kDeviceEventVolumeRemoved, 1 << 5);
  h.Pump();
  EXPECT_FALSE(h.QuitCode().has_value());
  h.steps.Open();
  EXPECT_EQ(h.RunToQuit(), wizard_exit::kComplete);
}

class WriteDisplayTest : public ::testing::Test {
 protected:
  /// The Write page during the burn of disc 1, the worker held inside it.
  void SetUp() override {
    h.steps.Close();
    h.GoToWritePage(0b1);
    ASSERT_TRUE(h.PumpUntil([&] { return h.steps.Waiting(); }));
    h.Pump();
  }
  void TearDown() override { h.steps.Open(); }

  void Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    h.toolkit.loop().Post(h.toolkit.SheetWindow(), message, wParam, lParam);
    h.Pump();
  }
  int Bar() const { return h.Control(107, Page::kBar).position; }

  /// The figures of the time-left line, in MB/s and seconds.
  struct Shown {
    double speed = 0;
    double left = 0;
    double medium = 0;
  };
  static std::optional<Shown> ReadTimeLeft(const std::wstring& text) {
    static const std::wregex shown(
        LR"((\d+\.\d) MB/s, (\d+):(\d\d) left \(about (\d+):(\d\d) for this medium\))");
    std::wsmatch parts;
    if (!std::regex_match(text, parts, shown)) return std::nullopt;
    return Shown{std::stod(parts[1].str()),
                 std::stod(parts[2].str()) * 60 + std::stod(parts[3].str()),
                 std::stod(parts[4].str()) * 60 + std::stod(parts[5].str())};
  }

  /// A clock that a timer of the test's own makes jump, a second at least each time.
  class JumpClock {
   public:
    explicit JumpClock(WizardHarness& h) : h_(h), loop_(h.toolkit.loop()) {
      loop_.EnableIdleJumps([] { return true; });
      static_cast<void>(loop_.SetTimer(h.WritePage(), kTimer, 1000));
      start_ = loop_.Now();
    }
    ~JumpClock() { loop_.KillTimer(h_.WritePage(), kTimer); }
    JumpClock(const JumpClock&) = delete;
    JumpClock& operator=(const JumpClock&) = delete;

    [[nodiscard]] bool JumpASecond() {
      const auto next = loop_.Now() + std::chrono::seconds(1);
      return h_.PumpUntil([&] { return loop_.Now() >= next; });
    }
    /// Seconds since the clock was made, however far it jumped.
    double Elapsed() const { return std::chrono::duration<double>(loop_.Now() - start_).count(); }

   private:
    static constexpr uintptr_t kTimer = 0x7e57;
    WizardHarness& h_;
    ui::host::MessageLoop& loop_;
    ui::host::UiClock::TimePoint start_;
  };

  WizardHarness h{1};
};

TEST_F(WriteDisplayTest, TheBurnStartDestroysThePromptAndFreesTheSheet) {
  EXPECT_EQ(h.write->prompt(), nullptr);
  EXPECT_TRUE(h.toolkit.Window(h.toolkit.SheetWindow())->enabled);
  EXPECT_EQ(Images(h)[1], Page::kImageRunning);
}

TEST_F(WriteDisplayTest, WritingProgressFollowsTheTimer) {
  Deliver(WM_WRITE_ACTION, 4);
  EXPECT_EQ(h.toolkit.loop().HasTimers(), true);
  h.run.sectorCount = 2000;
  h.run.lastWrittenLba = 500;
  h.toolkit.loop().Post(h.WritePage(), wm::kTimer, Page::kProgressTimerId, 0);
  h.Pump();
  EXPECT_EQ(Bar(), 250);
  h.run.lastWrittenLba = 4000;
  h.toolkit.loop().Post(h.WritePage(), wm::kTimer, Page::kProgressTimerId, 0);
  h.Pump();
  EXPECT_EQ(Bar(), 1000) << "clamped to 100 %";

  h.run.finalizeTime.Store(SystemTime{.wYear = 2024, .wMonth = 5, .wDay = 1});
  h.run.lastWrittenLba = 100;
  h.toolkit.loop().Post(h.WritePage(), wm::kTimer, Page::kProgressTimerId, 0);
  h.Pump();
  EXPECT_EQ(Bar(), 1000) << "finalization stops the display for good";
  EXPECT_FALSE(h.toolkit.loop().HasTimers());
}

TEST_F(WriteDisplayTest, SpeedAndTimeLeftFollowTheBurnOnTheJumpClock) {
  // The burn does one per cent of the disc each second of the UI clock, whose timers jump.
  const uint64_t bytes = h.run.sources[0].sizeBytes;
  ASSERT_GT(bytes, 0u);
  h.run.sectorCount = 100'000;
  // The worker stays inside the burn: the clock may jump whenever the page waits.
  h.toolkit.loop().EnableIdleJumps([] { return true; });
  Deliver(WM_WRITE_ACTION, 4);
  const auto& line = h.Control(107, Page::kTimeLeft);
  for (uint32_t second = 1; second <= 30; ++second) {
    h.run.lastWrittenLba = second * 1000;
    ASSERT_TRUE(h.PumpUntil([&] { return Bar() == static_cast<int>(second * 10); })) << second;
    if (second < 3) {
      EXPECT_FALSE(line.visible) << "nothing to go by in the first seconds";
      continue;
    }
    ASSERT_TRUE(line.visible) << second;
    const auto shown = ReadTimeLeft(line.text);
    ASSERT_TRUE(shown) << std::string(line.text.begin(), line.text.end());
    const double truth = 100.0 - second;
    EXPECT_NEAR(shown->left, truth, truth * 0.1) << second;
    // The drive's verification and the comparison read as much again, at about this speed.
    const int later = (h.run.noBurnVerify == 0 ? 1 : 0) + (h.run.compareAfterWrite != 0 ? 1 : 0);
    EXPECT_NEAR(shown->medium, truth + 100.0 * later, (truth + 100.0 * later) * 0.1) << second;
  }
  // Verification is a step of its own: the figures start over.
  h.run.finalizeTime.Store(SystemTime{.wYear = 2024, .wMonth = 5, .wDay = 1});
  Deliver(WM_WRITE_ACTION, 5);
  EXPECT_FALSE(line.visible);
}

TEST_F(WriteDisplayTest, SpeedAndTimeLeftFollowTheStickOnTheJumpClock) {
  // The stick takes one per cent of the images each second of the UI clock; the check and,
  // when it is on, the comparison read them all again after it.
  JumpClock clock(h);
  Deliver(WM_JOB_START, STEP_USB_JOB);
  const auto& line = h.Control(107, Page::kTimeLeft);
  const double later = 100.0 * (1 + (h.run.compareAfterWrite != 0 ? 1 : 0));
  for (int round = 0; round <= 40; ++round) {
    ASSERT_TRUE(round == 0 || clock.JumpASecond()) << round;
    const double elapsed = clock.Elapsed();
    if (elapsed > 60) break;
    Deliver(WM_JOB_END, STEP_USB_WRITE_PROGRESS, static_cast<intptr_t>(elapsed * 10));
    if (elapsed < 5) continue;
    ASSERT_TRUE(line.visible) << elapsed;
    const auto shown = ReadTimeLeft(line.text);
    ASSERT_TRUE(shown);
    const double truth = 100.0 - elapsed;
    EXPECT_NEAR(shown->left, truth, truth * 0.1 + 1) << elapsed;
    EXPECT_NEAR(shown->medium, truth + later, (truth + later) * 0.1 + 1) << elapsed;
  }
}

TEST_F(WriteDisplayTest, VerificationNeverMovesBackwardsAndSurvivesATinyImage) {
  h.run.imageSizeMB = 1000;
  h.run.verifyTicks = 1;
  Deliver(WM_WRITE_ACTION, 7);
  EXPECT_EQ(Bar(), 0);
  h.run.verifyTicks = 5;
  Deliver(WM_WRITE_ACTION, 7);
  EXPECT_EQ(Bar(), 200);
  h.run.verifyTicks = 3;
  Deliver(WM_WRITE_ACTION, 7);
  EXPECT_EQ(Bar(), 200);
  h.run.verifyTicks = 100000;  // 64-bit: (n * 50000 - 50000) does not wrap
  Deliver(WM_WRITE_ACTION, 7);
  EXPECT_EQ(Bar(), 990);

  h.run.imageSizeMB = 0;
  h.run.verifyTicks = 2;
  Deliver(WM_WRITE_ACTION, 5);
  Deliver(WM_WRITE_ACTION, 7);
  EXPECT_EQ(Bar(), 990);
}

TEST_F(WriteDisplayTest, ComparisonProgressIsMonotonousAndStopsShortOfTheEnd) {
  Deliver(WM_JOB_START, STEP_DISC_COMPARE);
  EXPECT_TRUE(h.Control(107, Page::kMarquee).visible);
  EXPECT_FALSE(h.Control(107, Page::kBar).visible);
  Deliver(WM_COMPARE_PROGRESS, 1);
  EXPECT_FALSE(h.Control(107, Page::kMarquee).visible);
  EXPECT_TRUE(h.Control(107, Page::kBar).visible);
  Deliver(WM_COMPARE_PROGRESS, 2, 400);
  EXPECT_EQ(Bar(), 400);
  Deliver(WM_COMPARE_PROGRESS, 2, 300);
  EXPECT_EQ(Bar(), 400);
  Deliver(WM_COMPARE_PROGRESS, 2, 1500);
  EXPECT_EQ(Bar(), 990);
  Deliver(WM_COMPARE_PROGRESS, 2, -5);
  EXPECT_EQ(Bar(), 0) << "a new round starts again from 0";
  Deliver(WM_COMPARE_PROGRESS, 3);
  EXPECT_EQ(Bar(), 1000);
}

TEST_F(WriteDisplayTest, WritingShows99PercentUpToTheLastSectorAnd100AtIt) {
  Deliver(WM_WRITE_ACTION, platform::imapi::kActionWritingData);
  const struct {
    uint32_t lastWrittenLba;
    int bar;
    const wchar_t* status;
  } cases[] = {
      {0, 0, L"Writing data to the media (0%)"},
      {1999, 990, L"Writing data to the media (99%)"},
      {2000, 1000, L"Writing data to the media (100%)"},
      {2001, 1000, L"Writing data to the media (100%)"},
  };
  h.run.sectorCount = 2000;
  for (const auto& c : cases) {
    h.run.lastWrittenLba = c.lastWrittenLba;
    h.toolkit.loop().Post(h.WritePage(), wm::kTimer, Page::kProgressTimerId, 0);
    h.Pump();
    EXPECT_EQ(Bar(), c.bar) << c.lastWrittenLba;
    EXPECT_EQ(h.Control(107, Page::kStatus).text, c.status) << c.lastWrittenLba;
  }
}

TEST_F(WriteDisplayTest, VerificationStartsFrom0AndStopsAt990) {
  h.run.imageSizeMB = 5000;  // each event after the first: 50 MiB, 10 per mille
  Deliver(WM_WRITE_ACTION, platform::imapi::kActionCompleted);
  ASSERT_EQ(Bar(), 1000);
  const struct {
    uint32_t ticks;
    int bar;
    const char* why;
  } steps[] = {
      {1, 0, "the first event starts from 0, whatever the write showed"},
      {51, 500, "50 events after the first"},
      {2, 500, "the second event, late, does not move the bar back"},
      {100, 990, "exactly 990"},
      {101, 990, "1000 waits for the end of the verification"},
      {1, 0, "a new verification starts from 0 again"},
  };
  for (const auto& step : steps) {
    h.run.verifyTicks = step.ticks;
    Deliver(WM_WRITE_ACTION, platform::imapi::kActionVerifying);
    EXPECT_EQ(Bar(), step.bar) << step.why;
  }
  EXPECT_EQ(h.Control(107, Page::kStatus).text,
            L"Verifying the integrity of the burned media (0%)");
}

TEST_F(WriteDisplayTest, ComparisonStopsAt990AndStartsAgainOnlyFrom0Or1) {
  Deliver(WM_COMPARE_PROGRESS, 1);
  const struct {
    intptr_t value;
    int bar;
    const char* why;
  } steps[] = {
      {400, 400, "as reported"},
      {2, 400, "2 is a late report of this round"},
      {1, 1, "1 starts a new round"},
      {990, 990, "exactly 990"},
      {991, 990, "above 990 it waits for the end"},
  };
  for (const auto& step : steps) {
    Deliver(WM_COMPARE_PROGRESS, 2, step.value);
    EXPECT_EQ(Bar(), step.bar) << step.why;
  }
  EXPECT_EQ(h.Control(107, Page::kStatus).text, L"Comparing files (99%)");
  Deliver(WM_COMPARE_PROGRESS, 3);
  EXPECT_EQ(Bar(), 1000);
  Deliver(WM_COMPARE_PROGRESS, 2, 1500);
  Deliver(WM_COMPARE_PROGRESS, 2, 990);
  EXPECT_EQ(Bar(), 1000) << "late reports never take the end back";
}

TEST_F(WriteDisplayTest, TheCheckStartShowsTheMarquee) {
  h.toolkit.loop().Post(h.WritePage(), WM_CHECK_PROGRESS, 0, kCheckStarting);
  h.Pump();
  EXPECT_TRUE(h.Control(107, Page::kMarquee).marquee);
  EXPECT_TRUE(h.Control(107, Page::kMarquee).visible);
}

TEST_F(WriteDisplayTest, TheCheckShowsSpeedAndTimeLeftFromWhatSabrelHasRead) {
  // 200 MiB at 2 MiB per second of the UI clock, which jumps from one tick to the next.
  constexpr uintptr_t kTotalKiB = 200 * 1024;
  JumpClock clock(h);
  Deliver(WM_JOB_START, STEP_USB_MD5_CHECK);
  h.toolkit.loop().Post(h.WritePage(), WM_CHECK_PROGRESS, 0, kCheckStarting);
  h.Pump();
  const auto& line = h.Control(107, Page::kTimeLeft);
  EXPECT_FALSE(line.visible);
  const int later = h.run.compareAfterWrite != 0 ? 1 : 0;
  for (int round = 0; round <= 60; ++round) {
    ASSERT_TRUE(round == 0 || clock.JumpASecond()) << round;
    // The stick reads at its fixed speed, however far the clock has jumped.
    const double elapsed = clock.Elapsed();
    if (elapsed > 90) break;
    h.toolkit.loop().Post(h.WritePage(), WM_CHECK_PROGRESS, kTotalKiB,
                          static_cast<intptr_t>(elapsed * 2048));
    h.Pump();
    EXPECT_TRUE(h.Control(107, Page::kMarquee).visible) << "the check keeps its marquee";
    if (elapsed < 2.5) {
      EXPECT_FALSE(line.visible) << elapsed;
      continue;
    }
    if (elapsed < 5) continue;
    ASSERT_TRUE(line.visible) << elapsed;
    const auto shown = ReadTimeLeft(line.text);
    ASSERT_TRUE(shown);
    EXPECT_NEAR(shown->speed, 2.1, 0.2) << "2 MiB are 2.1 MB";
    const double truth = 100.0 - elapsed;
    EXPECT_NEAR(shown->left, truth, truth * 0.1 + 1) << elapsed;
    EXPECT_NEAR(shown->medium, truth + 100.0 * later, (truth + 100.0 * later) * 0.1 + 1)
        << elapsed;
  }

  // The comparison has figures of its own; a report of the check that comes late changes them
  // not.
  Deliver(WM_JOB_START, STEP_USB_COMPARE);
  Deliver(WM_COMPARE_PROGRESS, 1);
  for (int second = 1; second <= 6; ++second) {
    ASSERT_TRUE(clock.JumpASecond());
    Deliver(WM_COMPARE_PROGRESS, 2, second * 10);
  }
  ASSERT_TRUE(line.visible);
  const std::wstring comparing = line.text;
  h.toolkit.loop().Post(h.WritePage(), WM_CHECK_PROGRESS, kTotalKiB,
                        static_cast<intptr_t>(kTotalKiB));
  h.Pump();
  EXPECT_TRUE(line.visible);
  EXPECT_EQ(line.text, comparing);
}

TEST_F(WriteDisplayTest, TheDestroyedPageIsForgottenByTheRunContext) {
  EXPECT_EQ(h.run.writePageWnd.load(), h.WritePage());
  h.toolkit.CloseSheet(0);
  EXPECT_EQ(h.run.writePageWnd.load(), nullptr);
}

}  // namespace
}  // namespace kestrune
