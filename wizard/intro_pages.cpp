#include "wizard/intro_pages.h"

#include "wizard/string_ids.h"
#include "wizard/window_messages.h"

namespace kestrune {

std::wstring CPage_010_Start::TitleText() const {
  std::wstring title = wizard_.Text(kStr200UseDownloadedRecoveryData);
  if (wizard_.run.estimatedMinutes != 0) {
    title += wizard_.Format(kStr208TimeRequired, {Decimal(wizard_.run.estimatedMinutes)});
  }
  return title;
}

std::wstring CPage_010_Start::NotesText() const {
  // The supported media are both named, whatever the survey allowed.
  const std::wstring notes[] = {
      wizard_.Text(kStr201KeepInSafePlace),
      wizard_.Format(kStr223MediaSupported, {wizard_.Text(kStr226DvdRDlOrUsbDrive)}),
      wizard_.Text(kStr203RemoveUnusedMedia),
      wizard_.Text(kStr205KeepAcAdaptorConnected),
      wizard_.Text(kStr206DoNotVibratePc),
      wizard_.Text(kStr207CloseOtherApplications)};
  std::wstring joined;
  for (const std::wstring& note : notes) {
    if (!joined.empty()) joined += L"\r\n";
    joined += note;
  }
  return joined;
}

bool CPage_010_Start::PageProc(uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
  switch (message) {
    case wm::kInitDialog:
      wizard_.ui.controls.SetText(window(), kTitle, TitleText());
      wizard_.ui.controls.SetText(window(), kNotes, NotesText());
      result = 1;
      return true;
    case wm::kShowWindow:
      if (wParam != 0) PostWizardButtons(wm::kWizButtonNext);
      return false;
    default:
      return false;
  }
}

bool CPage_015_Info::PageProc(uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
  switch (message) {
    case wm::kInitDialog:
      OnInitDialog();
      result = 1;
      return true;
    case wm::kShowWindow:
      if (wParam != 0) PostWizardButtons(wm::kWizButtonBack | wm::kWizButtonNext);
      return false;
    default:
      return false;
  }
}

void CPage_015_Info::OnInitDialog() {
  ListView& list = wizard_.ui.lists;
  const RunContext& run = wizard_.run;
  const int width = list.ClientWidth(window(), kNeeds);
  list.InsertColumn(window(), kNeeds, 0, wizard_.Text(kStr230DiscType), ColumnAlign::kLeft,
                    width * 9 / 20 - 5);
  list.InsertColumn(window(), kNeeds, 1, wizard_.Text(kStr232NumberDiscsRequired),
                    ColumnAlign::kLeft, width * 11 / 20);
  wizard_.ui.controls.SetText(window(), kLabel, run.discLabel.str());
  list.DeleteAllItems(window(), kNeeds);

  int row = 0;
  if ((run.allowedMediaMask & kMaskDvdRDualLayer) != 0 && run.sourceCount != 0) {
    // One disc per source file.
    list.InsertItem(window(), kNeeds, row, wizard_.Text(kStr242ForDvdRDl), -1);
    list.SetItemText(window(), kNeeds, row, 1, Decimal(run.sourceCount));
    ++row;
  }
  if ((run.allowedMediaMask & kMaskUsbDrive) != 0 && run.requiredMB != 0) {
    list.InsertItem(window(), kNeeds, row, wizard_.Text(kStr245ForUsbDrive), -1);
    list.SetItemText(window(), kNeeds, row, 1,
                     wizard_.Format(kStr246MinimumGb, {run.usbSizeGB.str()}));
  }
}

}  // namespace kestrune
