#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/usb_disks.h"
#include "wizard/information_dialogs.h"
#include "wizard/page_base.h"

namespace kestrune {

/// The Drive page (template 106): the user picks the target drive (an optical recorder or a
/// USB drive), the disc type, the discs of the set to write and the comparison option. The
/// page keeps its drive list current while it shows, and Next checks the choice, asks about
/// destructive ones, binds the recorder and records the choice in the run context.
class CPage_020_Drive : public CPageBase {
 public:
  static constexpr uint32_t kDriveCombo = 1201;
  static constexpr uint32_t kDiscList = 1202;
  static constexpr uint32_t kCannotWrite = 1203;
  static constexpr uint32_t kDvdRadio = 1252;
  static constexpr uint32_t kCompareCheck = 1601;
  static constexpr uintptr_t kRefreshTimerId = 1234;

  explicit CPage_020_Drive(WizardContext& wizard) : CPageBase(wizard, 106) {}

  int32_t selectedEntryKey = -1;
  int32_t listMediaType = -1;
  int32_t discTypeChoice = -1;
  uint32_t populated = 0;
  uintptr_t refreshTimer = 0;
  uint32_t driveLetterMask = 0;

 protected:
  bool PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

 private:
  void OnInitDialog();
  void OnShowWindow(bool shown);
  void OnDeviceEvent(uintptr_t event, intptr_t unitMask);
  void OnSelectionChange();
  void OnDiscTypeClicked();
  void RestartRefreshTimer(uint32_t milliseconds);
  void StopRefreshTimer();

  void RebuildDriveList();
  void ResetChoice();
  void OnDriveChosen(uint32_t key);
  void ShowDiscList(int32_t mediaCode);
  void UpdateDiscSelection();
  /// The checks of Next: -1 stays on the page, 0 goes on.
  intptr_t OnWizardNext();
  /// False (after message 481 or 484 when the volume is too full) to stay on the page.
  bool FreeSpaceSuffices(uint32_t messageId);
  /// The text of the entry with `key`, or nothing when no entry has it any more.
  bool EntryText(uint32_t key, std::wstring& text);
  /// The USB disk of the entry with `key` in the list as it shows now; null when none is.
  const CVantorEnumUSBDetail* UsbDiskOf(uint32_t key) const;

  /// Reads radio 1252 into discTypeChoice (0 when on, -1 when not).
  void ReadControls();
  /// Writes discTypeChoice to radio 1252.
  void WriteControls();
  /// The media code discTypeChoice stands for (0: 11, 1: 20), -1 for none.
  int32_t ChoiceMediaCode() const;

  std::unique_ptr<CScanMediaDlg> scanDialog_;
  /// The USB disks of the drive list, as the last rebuild found them.
  std::vector<CVantorEnumUSBDetail> usbDisks_;
};

}  // namespace kestrune
