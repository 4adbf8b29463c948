#include "wizard/page_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "wizard/drive_entries.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune {
namespace {

using testing::UsbDisk;
using testing::WizardHarness;
using Page = CPage_020_Drive;

constexpr uint64_t kGiB = 1ull << 30;
const std::wstring kRecorderE = L"( E:\\) KESTRUNE DVD-RW SIM 24X   ";

class DrivePageTest : public ::testing::Test {
 protected:
  DrivePageTest() { h.devices.recorders = {kRecorderE}; }

  std::vector<uint32_t> Keys() const {
    std::vector<uint32_t> keys;
    for (const auto& item : h.Control(106, Page::kDriveCombo).items) keys.push_back(item.data);
    return keys;
  }
  void PostDeviceEvent(uintptr_t event, uint32_t mask) {
    h.toolkit.loop().Post(h.toolkit.PageWindowOf(106)->handle, WM_DEVICE_EVENT, event, mask);
  }

  WizardHarness h;
};

TEST_F(DrivePageTest, ListsRecordersFirstThenUsbDisksWithTheirFlags) {
  h.devices.usbDisks = {UsbDisk(L"Stick", 32 * kGiB, {L"F:"}),
                        UsbDisk(L"Bare", 32 * kGiB, {}),
                        UsbDisk(L"Twice", 32 * kGiB, {L"", L"G:"}),
                        UsbDisk(L"Tiny", 100ull << 20, {L"H:"}),
                        UsbDisk(L"Letterless", 32 * kGiB, {L""}),
                        UsbDisk(L"Drive", 500 * kGiB, {L"J:"}, L"External hard disk media")};
  h.GoToDrivePage();
  ASSERT_EQ(h.ActiveTemplate(), 106u);
  const auto& combo = h.Control(106, Page::kDriveCombo);
  EXPECT_TRUE(combo.enabled);
  EXPECT_EQ(combo.selection, -1);
  ASSERT_EQ(combo.items.size(), 7u);
  EXPECT_EQ(combo.items[0].text, kRecorderE);
  EXPECT_EQ(combo.items[1].text, L"( F:\\ ) Stick ");
  EXPECT_EQ(combo.items[2].text, L"Bare");
  EXPECT_EQ(combo.items[3].text, L"( G:\\ ) Twice ");
  EXPECT_EQ(Keys(), (std::vector<uint32_t>{
                        'E', 'F' | ENTRY_REMOVABLE, 0x8000 | ENTRY_REMOVABLE | ENTRY_UNFORMATTED,
                        'G' | ENTRY_REMOVABLE | ENTRY_MULTI_PARTITION,
                        'H' | ENTRY_REMOVABLE | ENTRY_TOO_SMALL,
                        0x8000 | ENTRY_REMOVABLE | ENTRY_NO_LETTER, 'J' | ENTRY_LOCAL_DISK}));
  EXPECT_FALSE(h.NextEnabled());
}

TEST_F(DrivePageTest, ADiskOfExactlyTheRequiredSizeIsNotTooSmall) {
  h.Open();
  const uint64_t required = uint64_t{h.run.requiredMB} << 20;
  EXPECT_EQ(UsbDiskEntry(UsbDisk(L"a", required, {L"F:"}), h.run.requiredMB).key & ENTRY_TOO_SMALL,
            0u);
  EXPECT_NE(
      UsbDiskEntry(UsbDisk(L"a", required - 1, {L"F:"}), h.run.requiredMB).key & ENTRY_TOO_SMALL,
      0u);
  EXPECT_NE(UsbDiskEntry(UsbDisk(L"a", 0, {L"F:"}), 1).key & ENTRY_TOO_SMALL, 0u)
      << "a size that does not parse counts as 0";
}

// The survey's values as the Info and Drive pages use them, the set being one sparse image of
// an exact size, with the recorder E: and a removable stick at F:.
class SetSizeLimitsTest : public ::testing::Test {
 protected:
  static std::unique_ptr<WizardHarness> OnTheDrivePage(uint64_t imageBytes, uint64_t stickBytes) {
    auto h = std::make_unique<WizardHarness>(1);
    std::filesystem::resize_file(h->folder.path() / "set" / "disc1.iso", imageBytes);
    h->devices.recorders = {kRecorderE};
    h->devices.usbDisks = {UsbDisk(L"Stick", stickBytes, {L"F:"})};
    h->GoToDrivePage();
    EXPECT_EQ(h->ActiveTemplate(), 106u);
    return h;
  }
};

constexpr uint64_t kMiB = 1ull << 20;

TEST_F(SetSizeLimitsTest, TheUsbDriveIsOfferedWithItsSizeUpTo28000MBOfSet) {
  const struct {
    uint64_t imageBytes;
    const wchar_t* usbNeeds;  ///< the Info page's USB row, none when USB is not offered
  } cases[] = {
      {14246 * kMiB - 1, L"Minimum of 16 GB "},
      {14246 * kMiB, L"Minimum of 32 GB "},
      {27501 * kMiB - 1, L"Minimum of 32 GB "},
      {27501 * kMiB, nullptr},
  };
  for (const auto& c : cases) {
    const auto h = OnTheDrivePage(c.imageBytes, 64 * kGiB);
    const auto needs = h->Rows(103, CPage_015_Info::kNeeds, 1);
    const auto& combo = h->Control(106, Page::kDriveCombo);
    if (c.usbNeeds != nullptr) {
      EXPECT_EQ(needs, (std::vector<std::wstring>{L"1", c.usbNeeds})) << c.imageBytes;
      ASSERT_EQ(combo.items.size(), 2u) << c.imageBytes;
      EXPECT_EQ(combo.items[1].data & 0xff, static_cast<uint32_t>('F')) << c.imageBytes;
    } else {
      EXPECT_EQ(needs, std::vector<std::wstring>{L"1"}) << "DVD-R DL only";
      EXPECT_EQ(combo.items.size(), 1u) << "the stick is not even listed, only the recorder";
    }
  }
}

TEST_F(SetSizeLimitsTest, AStickOfTheRequiredMiBIsAskedAboutAndOneByteLessIsTooSmall) {
  const struct {
    uint64_t imageBytes;  ///< requiredMB is the image's whole MiB + 500
    uint64_t stickBytes;
    uint32_t box;
    const wchar_t* gigabytes;  ///< what message 265 asks for
  } cases[] = {
      {27500 * kMiB, 28000 * kMiB, 266, nullptr},
      {27500 * kMiB, 28000 * kMiB - 1, 265, L"at least 32 GB"},
      {27500 * kMiB, 27999 * kMiB, 265, L"at least 32 GB"},
      {14245 * kMiB, 14745 * kMiB, 266, nullptr},
      {14245 * kMiB, 14745 * kMiB - 1, 265, L"at least 16 GB"},
  };
  for (const auto& c : cases) {
    const auto h = OnTheDrivePage(c.imageBytes, c.stickBytes);
    ASSERT_EQ(h->Choose(L'F'), "") << c.stickBytes;
    h->Next();
    ASSERT_EQ(h->BoxIds(), std::vector<uint32_t>{c.box}) << c.stickBytes;
    if (c.gigabytes != nullptr) {
      EXPECT_NE(h->boxes[0].text.find(c.gigabytes), std::wstring::npos) << h->boxes[0].text;
    }
    EXPECT_EQ(h->ActiveTemplate(), 106u) << "neither too small nor cancelled moves on";
  }
}

TEST_F(DrivePageTest, ARemovableDiskIsKnownByItsMediaTypeInAnyLetterCase) {
  const auto key = [](const wchar_t* mediaType) {
    return UsbDiskEntry(UsbDisk(L"a", 32 * kGiB, {L"F:"}, mediaType), 1).key &
           (ENTRY_REMOVABLE | ENTRY_LOCAL_DISK);
  };
  EXPECT_EQ(key(L"Removable Media"), ENTRY_REMOVABLE);
  EXPECT_EQ(key(L"REMOVABLE media"), ENTRY_REMOVABLE);
  EXPECT_EQ(key(L"Removable Media "), ENTRY_LOCAL_DISK);
  EXPECT_EQ(key(L"Fixed hard disk media"), ENTRY_LOCAL_DISK);
}

TEST_F(DrivePageTest, WithoutAnyDriveTheListSaysSoAndNextStaysOff) {
  h.devices.recorders.clear();
  h.GoToDrivePage();
  const auto& combo = h.Control(106, Page::kDriveCombo);
  EXPECT_FALSE(combo.enabled);
  ASSERT_EQ(combo.items.size(), 1u);
  EXPECT_EQ(combo.selection, 0);
  EXPECT_FALSE(h.NextEnabled());
  EXPECT_TRUE(h.toolkit.WizardButtons() & wm::kWizButtonBack);
}

TEST_F(DrivePageTest, ChoosingARecorderWithADualLayerDiscOffersAllDiscs) {
  h.GoToDrivePage();
  EXPECT_EQ(h.Choose(L'E'), "");
  EXPECT_EQ(h.devices.scanCalls, 1);
  EXPECT_TRUE(h.Control(106, Page::kDvdRadio).visible);
  EXPECT_TRUE(h.Control(106, Page::kDvdRadio).checked);
  EXPECT_FALSE(h.Control(106, Page::kCannotWrite).visible);
  const auto& list = h.Control(106, Page::kDiscList);
  ASSERT_EQ(list.rows.size(), 3u);
  for (const auto& row : list.rows) EXPECT_TRUE(row.checked);
  EXPECT_EQ(h.run.discSelMask, 0b111u);
  EXPECT_TRUE(h.NextEnabled());
}

TEST_F(DrivePageTest, AContinuedSetShowsWrittenDiscsCompleteAndNeedsOnlyTheRest) {
  h.run.discState = 0x20000000 | 0x100 | 0x200 | 11;
  h.GoToDrivePage();
  h.Choose(L'E');
  const auto& list = h.Control(106, Page::kDiscList);
  ASSERT_EQ(list.rows.size(), 3u);
  EXPECT_FALSE(list.rows[0].checked);
  EXPECT_FALSE(list.rows[1].checked);
  EXPECT_TRUE(list.rows[2].checked);
  EXPECT_EQ(list.rows[0].data, 1);
  EXPECT_EQ(list.rows[2].data, 0);
  EXPECT_TRUE(h.NextEnabled()) << "only the unwritten disc needs a tick";

  h.toolkit.ClickListCheck(Page::kDiscList, 2, false);
  h.Pump();
  EXPECT_FALSE(h.NextEnabled());
  h.toolkit.ClickListCheck(Page::kDiscList, 0, true);
  h.Pump();
  EXPECT_FALSE(h.NextEnabled()) << "a written disc alone does not do";
  h.toolkit.ClickListCheck(Page::kDiscList, 2, true);
  h.Pump();
  EXPECT_TRUE(h.NextEnabled());
  EXPECT_EQ(h.run.discSelMask, 0b101u) << "rewriting a written disc is allowed";
}

TEST_F(DrivePageTest, CompletionMarksCountOnlyForAStartedDualLayerSet) {
  h.run.discState = 0x100 | 0x200;
  h.GoToDrivePage();
  h.Choose(L'E');
  for (const auto& row : h.Control(106, Page::kDiscList).rows) EXPECT_TRUE(row.checked);
}

TEST_F(DrivePageTest, LeavingOutAnUnwrittenDiscNeedsThePartialSwitch) {
  h.GoToDrivePage();
  h.Choose(L'E');
  h.toolkit.ClickListCheck(Page::kDiscList, 1, false);
  h.Pump();
  EXPECT_FALSE(h.NextEnabled());

  h.run.allowPartial = 1;
  h.toolkit.ClickListCheck(Page::kDiscList, 0, true);  // any click re-evaluates
  h.Pump();
  EXPECT_TRUE(h.NextEnabled());
  EXPECT_EQ(h.run.discSelMask, 0b101u);
}

TEST_F(DrivePageTest, ARecorderWithoutDualLayerMediaOffersNoDiscType) {
  h.devices.scans[L'E'] = {0, 0, 9};
  h.GoToDrivePage();
  h.Choose(L'E');
  EXPECT_FALSE(h.Control(106, Page::kDvdRadio).visible);
  EXPECT_TRUE(h.Control(106, Page::kDiscList).rows.empty());
  EXPECT_FALSE(h.NextEnabled());
}

TEST_F(DrivePageTest, AnEmptyDriveTakesTheSetsMediaAndLetsTheUserPickTheType) {
  h.devices.scans[L'E'] = {0, 0x800, 0};
  h.GoToDrivePage();
  h.Choose(L'E');
  EXPECT_TRUE(h.Control(106, Page::kDvdRadio).visible);
  EXPECT_FALSE(h.Control(106, Page::kDvdRadio).checked) << "no disc, no set started";
  EXPECT_TRUE(h.Control(106, Page::kDiscList).rows.empty());

  h.toolkit.ClickButton(Page::kDvdRadio, true);
  h.Pump();
  EXPECT_EQ(h.Control(106, Page::kDiscList).rows.size(), 3u);
  EXPECT_TRUE(h.NextEnabled());
}

TEST_F(DrivePageTest, AStartedSetPreselectsDualLayerForAnEmptyDrive) {
  h.devices.scans[L'E'] = {0, 0x800, 0};
  h.run.discState = 0x20000000 | 0x100 | 11;
  h.GoToDrivePage();
  h.Choose(L'E');
  EXPECT_TRUE(h.Control(106, Page::kDvdRadio).checked);
  EXPECT_EQ(h.Control(106, Page::kDiscList).rows.size(), 3u);
}

TEST_F(DrivePageTest, ADriveThatNeverAnswersIsGivenUpAfterThirtyAttemptsEachTime) {
  h.devices.recorders.push_back(L"( K:\\) OTHER DRIVE ");
  h.devices.scans[L'E'] = {0x80004005, 0, 0};
  h.GoToDrivePage();
  h.Choose(L'E');
  EXPECT_EQ(h.devices.scanCalls, 30);
  EXPECT_FALSE(h.Control(106, Page::kDvdRadio).visible);
  h.Choose(L'K');
  EXPECT_EQ(h.devices.scanCalls, 31) << "the next drive gets its own attempts";
  h.Choose(L'E');
  EXPECT_EQ(h.devices.scanCalls, 61);
}

TEST_F(DrivePageTest, NextBindsTheRecorderAndRecordsTheChoice) {
  h.GoToDrivePage();
  h.Choose(L'E');
  h.toolkit.ClickButton(Page::kCompareCheck, false);
  EXPECT_EQ(h.Next(), "");
  EXPECT_EQ(h.ActiveTemplate(), 107u);
  EXPECT_EQ(h.devices.binds, (std::vector<std::pair<wchar_t, uint32_t>>{{L'E', 11}}));
  EXPECT_EQ(h.run.mediaType, 11u);
  EXPECT_EQ(h.run.targetDriveLetter, L'E');
  EXPECT_EQ(h.run.compareAfterWrite, 0u);
  EXPECT_EQ(h.devices.freeSpaceQueries, 0) << "Windows 8 without comparison needs no space";
  EXPECT_TRUE(h.boxes.empty());
}

TEST_F(DrivePageTest, NextStaysSilentlyWhenTheRecorderCannotBeBound) {
  h.devices.bindResult = false;
  h.GoToDrivePage();
  h.Choose(L'E');
  h.Next();
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  EXPECT_TRUE(h.boxes.empty());
}

TEST_F(DrivePageTest, ComparingNeedsNineGigabytesOnTheWorkFoldersVolume) {
  h.devices.freeBytes = 9 * kGiB - 1;
  h.devices.volumeName = L"/srv";
  h.GoToDrivePage();
  h.Choose(L'E');
  h.Next();
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  ASSERT_EQ(h.BoxIds(), std::vector<uint32_t>{484});
  EXPECT_EQ(h.boxes[0].flags & wm::kMbButtonsMask, wm::kMbOk);
  EXPECT_NE(h.boxes[0].text.find(L"/srv"), std::wstring::npos) << "names the work volume";
  ASSERT_EQ(h.devices.freeSpaceFolders.size(), 1u);
  EXPECT_EQ(h.devices.freeSpaceFolders[0], testing::Wide(h.folder.path() / "set"));
  EXPECT_TRUE(h.devices.binds.empty());

  h.devices.freeBytes = 9 * kGiB;
  h.Next();
  EXPECT_EQ(h.ActiveTemplate(), 107u);
}

TEST_F(DrivePageTest, OlderWindowsNeedsTheSpaceEvenWithoutComparing) {
  h.devices.windows8 = false;
  h.devices.freeBytes = kGiB;
  h.GoToDrivePage();
  h.Choose(L'E');
  h.toolkit.ClickButton(Page::kCompareCheck, false);
  h.Next();
  EXPECT_EQ(h.BoxIds(), std::vector<uint32_t>{481});

  h.devices.freeSpaceAnswers = false;
  h.Next();
  EXPECT_EQ(h.BoxIds().size(), 1u) << "a volume that cannot answer keeps the page silently";
  EXPECT_EQ(h.ActiveTemplate(), 106u);
}

class UsbChoiceTest : public DrivePageTest {
 protected:
  /// Chooses USB entry `index` (after the recorder) and presses Next.
  void NextWith(std::vector<CVantorEnumUSBDetail> disks, size_t index = 0) {
    h.devices.usbDisks = std::move(disks);
    h.GoToDrivePage();
    h.toolkit.SelectComboItem(Page::kDriveCombo, static_cast<int>(index) + 1);
    h.Pump();
    ASSERT_TRUE(h.NextEnabled());
    h.Next();
  }
};

TEST_F(UsbChoiceTest, EachFlawOfTheDiskHasItsMessageInOrder) {
  const struct {
    CVantorEnumUSBDetail disk;
    uint32_t message;
  } cases[] = {{UsbDisk(L"tiny", 1 << 20, {}), 265},
               {UsbDisk(L"bare", 32 * kGiB, {}), 269},
               {UsbDisk(L"twice", 32 * kGiB, {L"", L""}), 272},
               {UsbDisk(L"letterless", 32 * kGiB, {L""}), 273}};
  for (const auto& c : cases) {
    WizardHarness fresh;
    fresh.devices.usbDisks = {c.disk};
    fresh.GoToDrivePage();
    fresh.toolkit.SelectComboItem(Page::kDriveCombo, 0);
    fresh.Pump();
    fresh.Next();
    EXPECT_EQ(fresh.BoxIds(), std::vector<uint32_t>{c.message}) << c.disk.caption;
    EXPECT_EQ(fresh.ActiveTemplate(), 106u);
  }
}

TEST_F(UsbChoiceTest, ARemovableDiskIsWipedOnlyAfterTheWarning) {
  NextWith({UsbDisk(L"Stick", 32 * kGiB, {L"F:"})});
  ASSERT_EQ(h.BoxIds(), std::vector<uint32_t>{266});
  EXPECT_EQ(h.boxes[0].flags, wm::kMbOkCancel | wm::kMbIconWarning | wm::kMbDefButton2);
  EXPECT_EQ(h.boxes[0].answer, wm::kIdCancel) << "Cancel is the default";
  EXPECT_EQ(h.ActiveTemplate(), 106u);

  h.answers = {wm::kIdOk};
  h.Next();
  EXPECT_EQ(h.ActiveTemplate(), 107u);
  EXPECT_EQ(h.run.mediaType, 20u);
  EXPECT_EQ(h.run.targetDriveLetter, L'F');
  EXPECT_TRUE(h.devices.binds.empty()) << "no recorder for a USB drive";
  // The very device confirmed, for the writer to wipe nothing else.
  const CVantorEnumUSBDetail& stick = h.devices.usbDisks[0];
  EXPECT_EQ(h.run.usbTarget.pnpDeviceId.str(), stick.pnpDeviceId);
  EXPECT_EQ(L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(h.run.usbTarget.diskNumber), stick.deviceId);
  EXPECT_EQ(h.run.usbTarget.sizeBytes, 32 * kGiB);
  EXPECT_EQ(h.run.usbTarget.partitionCount, 1u);
}

TEST_F(UsbChoiceTest, AnotherStickThatTakesTheLetterDuringTheWipeQuestionIsNotConfirmed) {
  h.answers = {wm::kIdOk};
  h.whileOpen[266] = [this] {
    // The same model, the same letter, the same entry on the list: another device.
    h.devices.usbDisks = {UsbDisk(L"Stick", 32 * kGiB, {L"F:"})};
    const int listings = h.devices.recorderListings;
    PostDeviceEvent(kDeviceEventVolumeArrived, 1u << ('F' - 'A'));
    h.toolkit.loop().RunUntil([&] { return h.devices.recorderListings > listings; },
                              std::chrono::steady_clock::now() + std::chrono::seconds(5));
  };
  NextWith({UsbDisk(L"Stick", 32 * kGiB, {L"F:"})});
  EXPECT_EQ(h.BoxIds(), (std::vector<uint32_t>{266, 276}));
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  EXPECT_TRUE(h.run.usbTarget.pnpDeviceId.view().empty());
}

TEST_F(UsbChoiceTest, ALocalDiskNeedsAYesBeforeTheWipeQuestion) {
  h.answers = {wm::kIdNo};
  NextWith({UsbDisk(L"Big", 500 * kGiB, {L"J:"}, L"External hard disk media")});
  ASSERT_EQ(h.BoxIds(), std::vector<uint32_t>{274});
  EXPECT_EQ(h.boxes[0].flags, wm::kMbYesNo | wm::kMbIconWarning | wm::kMbDefButton2);

  h.answers = {wm::kIdYes, wm::kIdOk};
  h.Next();
  EXPECT_EQ(h.BoxIds(), (std::vector<uint32_t>{274, 274, 266}));
  EXPECT_EQ(h.ActiveTemplate(), 107u);
}

TEST_F(UsbChoiceTest, ADiskGoneDuringTheLocalDiskQuestionIsNeverOfferedForWiping) {
  h.answers = {wm::kIdYes};
  h.whileOpen[274] = [this] {
    h.devices.usbDisks = {UsbDisk(L"Other", 32 * kGiB, {L"G:"})};
    const int listings = h.devices.recorderListings;
    PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << ('J' - 'A'));
    h.toolkit.loop().RunUntil([&] { return h.devices.recorderListings > listings; },
                              std::chrono::steady_clock::now() + std::chrono::seconds(5));
  };
  NextWith({UsbDisk(L"Big", 500 * kGiB, {L"J:"}, L"External hard disk media")});
  EXPECT_EQ(h.BoxIds(), (std::vector<uint32_t>{274, 276}));
  EXPECT_EQ(h.ActiveTemplate(), 106u);
}

TEST_F(UsbChoiceTest, TheWipeQuestionNamesTheChosenDiskWhereverItMovedInTheList) {
  const auto big = UsbDisk(L"Big", 500 * kGiB, {L"J:"}, L"External hard disk media");
  h.answers = {wm::kIdYes, wm::kIdCancel};
  h.whileOpen[274] = [this, big] {
    // Another disk comes first in the rebuilt list; the chosen one is still there.
    h.devices.usbDisks = {UsbDisk(L"Other", 32 * kGiB, {L"G:"}), big};
    const int listings = h.devices.recorderListings;
    PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << ('K' - 'A'));
    h.toolkit.loop().RunUntil([&] { return h.devices.recorderListings > listings; },
                              std::chrono::steady_clock::now() + std::chrono::seconds(5));
  };
  NextWith({big});
  ASSERT_EQ(h.BoxIds(), (std::vector<uint32_t>{274, 266}));
  EXPECT_NE(h.boxes[1].text.find(L"\n( J:\\ ) Big \n"), std::wstring::npos) << h.boxes[1].text;
  EXPECT_EQ(h.boxes[1].text.find(L"Other"), std::wstring::npos);
}

TEST_F(UsbChoiceTest, ADiskUnpluggedWhileTheWipeQuestionIsOpenIsNotWritten) {
  h.answers = {wm::kIdOk};
  h.whileOpen[266] = [this] {
    h.devices.usbDisks.clear();
    PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << ('F' - 'A'));
    h.toolkit.loop().RunUntil(
        [this] { return h.Control(106, Page::kDriveCombo).items.size() == 1; },
        std::chrono::steady_clock::now() + std::chrono::seconds(5));
  };
  NextWith({UsbDisk(L"Stick", 32 * kGiB, {L"F:"})});
  EXPECT_EQ(h.BoxIds(), (std::vector<uint32_t>{266, 276}));
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  EXPECT_EQ(h.run.mediaType, 0u);
}

TEST_F(DrivePageTest, ArrivalsRebuildOnceAfterTheyStopAndRemovalsAtOnce) {
  h.GoToDrivePage();
  const int listings = h.devices.recorderListings;
  PostDeviceEvent(kDeviceEventVolumeArrived, 1u << 5);
  PostDeviceEvent(kDeviceEventNodesChanged, 0);
  PostDeviceEvent(kDeviceEventMediaArrived, 1u << 4);
  h.Pump();
  EXPECT_EQ(h.devices.recorderListings, listings) << "the rebuild waits for the 3 s timer";
  EXPECT_EQ(h.drive->refreshTimer, Page::kRefreshTimerId);
  h.PumpUntil([this] { return h.drive->refreshTimer == 0; });
  EXPECT_EQ(h.devices.recorderListings, listings + 1);

  PostDeviceEvent(kDeviceEventMediaRemoved, 1u << 4);
  h.Pump();
  EXPECT_EQ(h.drive->refreshTimer, 0u) << "media events are not the page's business";
  PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << 5);
  h.Pump();
  EXPECT_EQ(h.drive->refreshTimer, Page::kRefreshTimerId);
  EXPECT_TRUE(h.PumpUntil([&] { return h.devices.recorderListings == listings + 2; }));
}

TEST_F(DrivePageTest, ARebuildKeepsTheChosenDriveWithoutScanningAgain) {
  h.GoToDrivePage();
  h.Choose(L'E');
  const int listings = h.devices.recorderListings;
  PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << 10);
  EXPECT_TRUE(h.PumpUntil([&] { return h.devices.recorderListings == listings + 1; }));
  EXPECT_EQ(h.devices.scanCalls, 1);
  EXPECT_EQ(h.Control(106, Page::kDriveCombo).selection, 0);
  EXPECT_TRUE(h.NextEnabled());

  h.devices.recorders.clear();
  PostDeviceEvent(kDeviceEventVolumeRemoved, 1u << 4);
  EXPECT_TRUE(h.PumpUntil([&] { return h.devices.recorderListings == listings + 2; }));
  h.Pump();
  EXPECT_FALSE(h.NextEnabled());
  EXPECT_TRUE(h.Control(106, Page::kDiscList).rows.empty());
  EXPECT_EQ(h.drive->selectedEntryKey, -1);
}

TEST_F(DrivePageTest, ShowingThePageAgainForgetsTheChoice) {
  h.GoToDrivePage();
  h.Choose(L'E');
  h.Back();
  EXPECT_EQ(h.ActiveTemplate(), 103u);
  h.Next();
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  EXPECT_EQ(h.drive->selectedEntryKey, -1);
  EXPECT_EQ(h.Control(106, Page::kDriveCombo).selection, -1);
  EXPECT_FALSE(h.NextEnabled());
  h.Choose(L'E');
  EXPECT_EQ(h.devices.scanCalls, 2) << "choosing it again scans again";
}

}  // namespace
}  // namespace kestrune
