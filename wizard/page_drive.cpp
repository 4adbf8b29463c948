#include "wizard/page_drive.h"

#include <optional>

#include <vector>

#include "app/work_folder.h"
#include "wizard/drive_entries.h"
#include "wizard/string_ids.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {
namespace {

constexpr uint32_t kBackOnly = wm::kWizButtonBack;
constexpr uint32_t kBackNext = wm::kWizButtonBack | wm::kWizButtonNext;
/// Whole GiB the work folder's volume must have free for the comparison folder.
constexpr uint64_t kRequiredFreeGiB = 9;

}  // namespace

bool CPage_020_Drive::PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam,
                               intptr_t& result) {
  switch (message) {
    case wm::kInitDialog:
      OnInitDialog();
      result = 1;
      return true;
    case wm::kShowWindow:
      OnShowWindow(wParam != 0);
      return false;
    case WM_DRIVE_REFRESH:
      PostWizardButtons(kBackOnly);
      populated = 1;
      RebuildDriveList();
      result = 0;
      return true;
    case WM_DEVICE_EVENT:
      OnDeviceEvent(wParam, lParam);
      result = 0;
      return true;
    case wm::kTimer:
      if (refreshTimer != 0 && wParam == refreshTimer) {
        StopRefreshTimer();
        if (populated == 1) RebuildDriveList();
      }
      return false;
    case wm::kCommand: {
      const uint32_t id = wParam & 0xffff;
      const uint32_t code = (wParam >> 16) & 0xffff;
      if (id == kDriveCombo && code == wm::kComboSelChange) {
        OnSelectionChange();
        result = 0;
        return true;
      }
      if (id == kDvdRadio && code == wm::kButtonClicked) {
        OnDiscTypeClicked();
        result = 0;
        return true;
      }
      return false;
    }
    case wm::kNotify: {
      // The message carries its record's address, as WM_NOTIFY does.
      const auto* info =
          reinterpret_cast<const wm::NotifyInfo*>(lParam);  // NOLINT(performance-no-int-to-ptr)
      if (info == nullptr) return false;
      if (info->code == wm::kPsnWizNext) {
        result = OnWizardNext();
        return true;
      }
      if (info->idFrom != kDiscList) return false;
      const bool clickOnBox =
          (info->code == wm::kNmClick || info->code == wm::kNmDblClick) && info->subItem == 0;
      const bool space = info->code == wm::kListKeyDown && info->key == wm::kVkSpace;
      if (clickOnBox || space) PostToSelf(WM_DISC_SELECTION);
      result = 0;
      return true;
    }
    case WM_DISC_SELECTION:
      UpdateDiscSelection();
      result = 0;
      return true;
    default:
      return false;
  }
}

void CPage_020_Drive::OnInitDialog() {
  ListView& list = wizard_.ui.lists;
  const int width = list.ClientWidth(window(), kDiscList);
  list.InsertColumn(window(), kDiscList, 0, wizard_.Text(kStr253DiscNo), ColumnAlign::kLeft,
                    width - width / 3 - 5);
  list.InsertColumn(window(), kDiscList, 1, wizard_.Text(kStr254Status), ColumnAlign::kCenter,
                    width / 3);
  list.EnableCheckBoxes(window(), kDiscList);
  wizard_.ui.controls.SetCheck(window(), kCompareCheck, true);
}

void CPage_020_Drive::OnShowWindow(bool shown) {
  StopRefreshTimer();
  if (!shown) return;
  // Each showing forgets the earlier choice and starts from a fresh list.
  listMediaType = selectedEntryKey = discTypeChoice = -1;
  PostToSelf(WM_DRIVE_REFRESH);
}

void CPage_020_Drive::OnDeviceEvent(uintptr_t event, intptr_t unitMask) {
  switch (event) {
    case kDeviceEventVolumeArrived:
    case kDeviceEventNodesChanged:
      // A burst of arrival events gives one rebuild, three seconds after the last.
      RestartRefreshTimer(3000);
      break;
    case kDeviceEventVolumeRemoved:
      if ((static_cast<uint32_t>(unitMask) & driveLetterMask) != 0) driveLetterMask = 0;
      RestartRefreshTimer(0);
      break;
    default:
      break;
  }
}

void CPage_020_Drive::RestartRefreshTimer(uint32_t milliseconds) {
  StopRefreshTimer();
  if (wizard_.ui.timers.SetTimer(window(), kRefreshTimerId, milliseconds)) {
    refreshTimer = kRefreshTimerId;
  }
}

void CPage_020_Drive::StopRefreshTimer() {
  if (refreshTimer == 0) return;
  wizard_.ui.timers.KillTimer(window(), refreshTimer);
  refreshTimer = 0;
}

void CPage_020_Drive::OnSelectionChange() {
  ComboView& combo = wizard_.ui.combos;
  const int selection = combo.GetSelection(window(), kDriveCombo);
  if (selection < 0) return;
  const uint32_t key = combo.ItemData(window(), kDriveCombo, selection);
  if (static_cast<int32_t>(key) == selectedEntryKey) return;
  OnDriveChosen(key);
  selectedEntryKey = static_cast<int32_t>(key);
}

void CPage_020_Drive::OnDiscTypeClicked() {
  ReadControls();
  const int32_t code = ChoiceMediaCode();
  if (code < 0 || code == listMediaType) return;
  ShowDiscList(code);
  listMediaType = code;
}

void CPage_020_Drive::ReadControls() {
  discTypeChoice = wizard_.ui.controls.GetCheck(window(), kDvdRadio) ? 0 : -1;
}

void CPage_020_Drive::WriteControls() {
  wizard_.ui.controls.SetCheck(window(), kDvdRadio, discTypeChoice == 0);
}

int32_t CPage_020_Drive::ChoiceMediaCode() const {
  if (discTypeChoice == 0) return static_cast<int32_t>(kMediaDvdRDualLayer);
  if (discTypeChoice == 1) return static_cast<int32_t>(kMediaUsbDrive);
  return -1;
}

void CPage_020_Drive::RebuildDriveList() {
  const RunContext& run = wizard_.run;
  std::vector<std::wstring> recorders;
  wizard_.devices.EnumRecorders(recorders);
  std::vector<CVantorEnumUSBDetail> disks;
  if ((run.allowedMediaMask & kMaskUsbDrive) != 0) wizard_.devices.EnumUSBDisks(disks);

  ComboView& combo = wizard_.ui.combos;
  combo.ResetContent(window(), kDriveCombo);
  for (const std::wstring& text : recorders) {
    const DriveEntry entry = RecorderEntry(text);
    combo.AddItem(window(), kDriveCombo, entry.text, entry.key);
  }
  for (const CVantorEnumUSBDetail& disk : disks) {
    const DriveEntry entry = UsbDiskEntry(disk, run.requiredMB);
    combo.AddItem(window(), kDriveCombo, entry.text, entry.key);
  }
  usbDisks_ = std::move(disks);

  const int count = combo.ItemCount(window(), kDriveCombo);
  if (count > 0) {
    wizard_.ui.controls.Enable(window(), kDriveCombo, true);
    if (selectedEntryKey != -1) {
      for (int i = 0; i < count; ++i) {
        if (static_cast<int32_t>(combo.ItemData(window(), kDriveCombo, i)) != selectedEntryKey) {
          continue;
        }
        // The remembered drive is still there: keep it without scanning it again.
        combo.SetSelection(window(), kDriveCombo, i);
        UpdateDiscSelection();
        ReadControls();
        const int32_t code = ChoiceMediaCode();
        if (code >= 0 && code != listMediaType) {
          ShowDiscList(code);
          listMediaType = code;
        }
        return;
      }
    }
    PostWizardButtons(kBackOnly);
    selectedEntryKey = -1;
    combo.SetSelection(window(), kDriveCombo, -1);
    ResetChoice();
    return;
  }
  PostWizardButtons(kBackOnly);
  wizard_.ui.controls.Enable(window(), kDriveCombo, false);
  selectedEntryKey = -1;
  combo.SetSelection(
      window(), kDriveCombo,
      combo.AddItem(window(), kDriveCombo, wizard_.Text(kStr260DiscDriveNotFound), 0));
  ResetChoice();
}

void CPage_020_Drive::ResetChoice() {
  wizard_.ui.controls.Show(window(), kDvdRadio, false);
  wizard_.ui.controls.Show(window(), kCannotWrite, false);
  discTypeChoice = -1;
  WriteControls();
  listMediaType = -1;
  ShowDiscList(0);
}

void CPage_020_Drive::OnDriveChosen(uint32_t key) {
  ControlView& controls = wizard_.ui.controls;
  if (!scanDialog_) {
    scanDialog_ = std::make_unique<CScanMediaDlg>(wizard_);
    scanDialog_->text = wizard_.Text(kStr154RecognizingDriveDisc);
  }
  if (IsUsbEntry(key)) {
    controls.Show(window(), kDvdRadio, false);
    controls.Show(window(), kCannotWrite, false);
    discTypeChoice = 1;
    listMediaType = static_cast<int32_t>(kMediaUsbDrive);
  } else {
    scanDialog_->scanLetter = static_cast<wchar_t>(key & 0xffff);
    const auto mask = static_cast<uint32_t>(scanDialog_->DoModal());
    const RunContext& run = wizard_.run;
    const bool dvdUsable =
        (run.allowedMediaMask & kMaskDvdRDualLayer) != 0 && (mask & kMaskDvdRDualLayer) != 0;
    controls.Show(window(), kDvdRadio, dvdUsable);
    // A refresh during the scan may have found no drive at all.
    controls.Show(window(), kCannotWrite, !controls.IsEnabled(window(), kDriveCombo));
    uint32_t current = scanDialog_->currentMediaCode;
    if (current == 0) current = disc_state::MediaCode(run.discState);
    discTypeChoice = -1;
    listMediaType = -1;
    if (current == kMediaDvdRDualLayer && (mask & kMaskDvdRDualLayer) != 0) {
      discTypeChoice = 0;
      listMediaType = static_cast<int32_t>(kMediaDvdRDualLayer);
    }
  }
  WriteControls();
  ShowDiscList(discTypeChoice == -1 ? 0 : listMediaType);
}

void CPage_020_Drive::ShowDiscList(int32_t mediaCode) {
  ListView& list = wizard_.ui.lists;
  const RunContext& run = wizard_.run;
  list.DeleteAllItems(window(), kDiscList);
  wizard_.ui.controls.Enable(window(), kDiscList, false);

  uint32_t rows = 0;
  bool marks = false;
  if (mediaCode == static_cast<int32_t>(kMediaDvdRDualLayer)) {
    rows = run.sourceCount;
    marks = disc_state::IsDualLayerSetStarted(run.discState);
  } else if (mediaCode == static_cast<int32_t>(kMediaUsbDrive)) {
    rows = (run.allowedMediaMask & kMaskUsbDrive) != 0 ? 1 : 0;
  }
  if (rows == 0) {
    UpdateDiscSelection();
    return;
  }
  wizard_.ui.controls.Enable(window(), kDiscList, true);
  for (uint32_t i = 0; i < rows; ++i) {
    const int row =
        list.InsertItem(window(), kDiscList, static_cast<int>(i),
                        wizard_.Format(kStr263WritingRecoveryDisc, {Decimal(i + 1)}), -1);
    if (marks && disc_state::IsDiscWritten(run.discState, i + 1)) {
      list.SetCheckState(window(), kDiscList, row, false);
      list.SetItemText(window(), kDiscList, row, 1, wizard_.Text(kStr255Complete));
      list.SetItemData(window(), kDiscList, row, 1);
    } else {
      list.SetCheckState(window(), kDiscList, row, true);
      list.SetItemText(window(), kDiscList, row, 1, wizard_.Text(kStr257NotWritten));
    }
  }
  UpdateDiscSelection();
}

void CPage_020_Drive::UpdateDiscSelection() {
  ListView& list = wizard_.ui.lists;
  RunContext& run = wizard_.run;
  run.discSelMask = 0;
  uint32_t pending = 0;
  const int rows = list.ItemCount(window(), kDiscList);
  for (int i = 0; i < rows && i < 32; ++i) {
    if (list.GetCheckState(window(), kDiscList, i)) run.discSelMask |= 1u << i;
    if (list.GetItemData(window(), kDiscList, i) != 1) pending |= 1u << i;
  }
  // Without the partial switch every disc not yet written must be ticked.
  const bool enough =
      run.discSelMask != 0 && ((pending & ~run.discSelMask) == 0 ||
                               ((run.discSelMask & pending) != 0 && run.allowPartial != 0));
  PostWizardButtons(enough ? kBackNext : kBackOnly);
}

bool CPage_020_Drive::FreeSpaceSuffices(uint32_t messageId) {
  std::wstring volume;
  uint64_t freeBytes = 0;
  if (!wizard_.devices.WorkVolumeFreeSpace(WorkFolder(wizard_.run), volume, freeBytes)) {
    return false;
  }
  if ((freeBytes >> 30) >= kRequiredFreeGiB) return true;
  wizard_.Message(messageId, wizard_.Format(messageId, {volume}), wm::kMbOk);
  return false;
}

bool CPage_020_Drive::EntryText(uint32_t key, std::wstring& text) {
  ComboView& combo = wizard_.ui.combos;
  const int count = combo.ItemCount(window(), kDriveCombo);
  for (int i = 0; i < count; ++i) {
    if (combo.ItemData(window(), kDriveCombo, i) == key) {
      text = combo.ItemText(window(), kDriveCombo, i);
      return true;
    }
  }
  return false;
}

const CVantorEnumUSBDetail* CPage_020_Drive::UsbDiskOf(uint32_t key) const {
  for (const CVantorEnumUSBDetail& disk : usbDisks_) {
    if (UsbDiskEntry(disk, wizard_.run.requiredMB).key == key) return &disk;
  }
  return nullptr;
}

intptr_t CPage_020_Drive::OnWizardNext() {
  constexpr intptr_t kStay = -1;
  const auto key = static_cast<uint32_t>(selectedEntryKey);
  const int32_t type = listMediaType;
  driveLetterMask = DriveLetterBit(static_cast<wchar_t>(key & 0xff));
  RunContext& run = wizard_.run;
  run.comparing = 0;
  run.compareAfterWrite = wizard_.ui.controls.GetCheck(window(), kCompareCheck) ? 1 : 0;

  // Says why the page cannot move on; the answer that keeps it.
  const auto refuse = [this](uint32_t id) {
    wizard_.Message(id, wm::kMbOk);
    return kStay;
  };
  // The USB disk the questions are about. A drive that went away while a question was open
  // is not written, and neither is another disk that took its place under the same entry.
  const CVantorEnumUSBDetail* listed = UsbDiskOf(key);
  const std::wstring askedDevice = listed != nullptr ? listed->pnpDeviceId : std::wstring();
  auto stillThere = [&] {
    std::wstring ignored;
    const CVantorEnumUSBDetail* now = UsbDiskOf(key);
    const bool same = !IsUsbEntry(key) || (now != nullptr && now->pnpDeviceId == askedDevice);
    if (driveLetterMask != 0 && EntryText(key, ignored) && same) return true;
    refuse(kStr276DriveDisconnected);
    return false;
  };

  if (type == static_cast<int32_t>(kMediaDvdRDualLayer)) {
    if (!wizard_.devices.IsWindows8OrGreater() && !FreeSpaceSuffices(kStr481NotEnoughDiskSpace)) {
      return kStay;
    }
    if (run.compareAfterWrite != 0 && !FreeSpaceSuffices(kStr484NotEnoughDiskSpaceToCompare)) {
      return kStay;
    }
    if (!wizard_.devices.BindRecorder(static_cast<wchar_t>(key & 0xffff), kMediaDvdRDualLayer)) {
      return kStay;
    }
  } else if (type == static_cast<int32_t>(kMediaUsbDrive)) {
    if ((key & ENTRY_TOO_SMALL) != 0) {
      wizard_.Message(kStr265NotEnoughFreeSpace,
                      wizard_.Format(kStr265NotEnoughFreeSpace, {run.usbSizeGB.str()}), wm::kMbOk);
      return kStay;
    }
    if ((key & ENTRY_UNFORMATTED) != 0) return refuse(kStr269DriveNotFormatted);
    if ((key & ENTRY_MULTI_PARTITION) != 0) return refuse(kStr272DriveMultiplePartitions);
    if ((key & ENTRY_NO_LETTER) != 0) return refuse(kStr273DriveHasNoLetter);
    if ((key & ENTRY_LOCAL_DISK) != 0) {
      const int answer = wizard_.Message(kStr274DriveIsLocalDisk,
                                         wm::kMbYesNo | wm::kMbIconWarning | wm::kMbDefButton2);
      if (answer != wm::kIdYes || !stillThere()) return kStay;
    }
    if (driveLetterMask != 0) {
      // The question names the drive that will be wiped: the entry with the chosen key.
      std::wstring drive;
      if (!EntryText(key, drive)) return refuse(kStr276DriveDisconnected);
      const int answer = wizard_.Message(kStr266DriveDataWillBeDeleted,
                                         wizard_.Format(kStr266DriveDataWillBeDeleted, {drive}),
                                         wm::kMbOkCancel | wm::kMbIconWarning | wm::kMbDefButton2);
      if (answer != wm::kIdOk || !stillThere()) return kStay;
    }
    // The writer checks the space its comparison needs against the images' own listing, before
    // it wipes anything: no fixed estimate here.
    const CVantorEnumUSBDetail* confirmed = UsbDiskOf(key);
    if (driveLetterMask == 0 || confirmed == nullptr || confirmed->pnpDeviceId != askedDevice ||
        !PinUsbTarget(*confirmed, run.usbTarget)) {
      return refuse(kStr276DriveDisconnected);
    }
  }
  if (driveLetterMask == 0) return refuse(kStr276DriveDisconnected);
  driveLetterMask = 0;
  run.mediaType = static_cast<uint32_t>(type);
  run.targetDriveLetter = static_cast<wchar_t>(key & 0xff);
  return 0;
}

}  // namespace kestrune
