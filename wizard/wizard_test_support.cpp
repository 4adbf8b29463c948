#include "wizard/wizard_test_support.h"

#include <chrono>

#include "engine/worker_start.h"
#include "wizard/window_messages.h"

namespace kestrune::testing {

void FakeDevices::EnumRecorders(std::vector<std::wstring>& entries) {
  ++recorderListings;
  entries = recorders;
}

void FakeDevices::EnumUSBDisks(std::vector<CVantorEnumUSBDetail>& list) {
  list.insert(list.end(), usbDisks.begin(), usbDisks.end());
}

platform::HResult FakeDevices::ScanDriveMedia(wchar_t letter, uint32_t* supportedMediaMask,
                                              uint32_t* currentMediaCode) {
  ++scanCalls;
  const auto it = scans.find(letter);
  const Scan scan = it != scans.end() ? it->second : Scan{};
  if (scan.result != 0) return scan.result;
  *supportedMediaMask = scan.mask;
  *currentMediaCode = scan.mediaCode;
  return 0;
}

bool FakeDevices::BindRecorder(wchar_t letter, uint32_t mediaCode) {
  binds.emplace_back(letter, mediaCode);
  return bindResult;
}

uint32_t FakeDevices::CheckInsertedMedia() {
  ++mediaPolls;
  if (onPoll) onPoll();
  const uint32_t verdict = mediaChecks.front();
  if (mediaChecks.size() > 1) mediaChecks.pop_front();
  return verdict;
}

bool FakeDevices::WorkVolumeFreeSpace(const std::wstring& folder, std::wstring& name,
                                      uint64_t& bytes) {
  ++freeSpaceQueries;
  freeSpaceFolders.push_back(folder);
  if (!freeSpaceAnswers) return false;
  name = volumeName;
  bytes = freeBytes;
  return true;
}

uint32_t FakeUserRegistry::EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                                  uint32_t& resume) {
  ++calls;
  if (failure != 0) return failure;
  if (resume >= batches.size()) return 0;
  const auto& batch = batches[resume++];
  names.insert(names.end(), batch.begin(), batch.end());
  return resume < batches.size() ? platform::win32error::kMoreData : 0;
}

uint32_t GatedSteps::BurnDisc(CVantorThread& worker, uint32_t disc) {
  {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !closed_; });
    --waiting_;
  }
  return ScriptedSteps::BurnDisc(worker, disc);
}

void GatedSteps::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

void GatedSteps::Open() {
  {
    std::lock_guard lock(mutex_);
    closed_ = false;
  }
  changed_.notify_all();
}

bool GatedSteps::Waiting() {
  std::lock_guard lock(mutex_);
  return waiting_ > 0;
}

WizardHarness::WizardHarness(uint32_t discs) {
  SetRunContextDefaults(run);
  for (uint32_t i = 0; i < discs && i < kMaxSources; ++i) {
    const auto file = folder.WriteFile("set/disc" + std::to_string(i + 1) + ".iso",
                                       std::string(4096, static_cast<char>('a' + i)));
    run.sources[i].path.Assign(Wide(file));
  }
  run.sourceCount = discs;
  run.discLabel.Assign(L"Label");
  toolkit.SetObserver(this);
  toolkit.loop().EnableIdleJumps([this] {
    CVantorThread* thread = sheet ? sheet->worker() : nullptr;
    return thread == nullptr || !thread->Busy();
  });
}

WizardHarness::~WizardHarness() {
  steps.Open();
  if (toolkit.SheetWindow() != nullptr) toolkit.CloseSheet(0);
  if (sheet) {
    sheet->stopEvent().Set();
    static_cast<void>(AwaitWorkerEnd(sheet->workerOwner(), std::chrono::milliseconds(100), 100));
  }
  run.sheet = nullptr;
}

void WizardHarness::Open() {
  sheet = std::make_unique<CVantorSheet>(wizard, services);
  if (sheet->worker() != nullptr)
    sheet->worker()->SetIdlePollInterval(std::chrono::milliseconds(2));
  start = std::make_unique<CPage_010_Start>(wizard);
  info = std::make_unique<CPage_015_Info>(wizard);
  drive = std::make_unique<CPage_020_Drive>(wizard);
  write = std::make_unique<CPage_030_Write>(wizard);
  for (CPageBase* page :
       std::initializer_list<CPageBase*>{start.get(), info.get(), drive.get(), write.get()}) {
    sheet->AddPage(*page);
  }
  run.sheet = sheet.get();
  const SheetPage pages[] = {
      {start.get(), 102}, {info.get(), 103}, {drive.get(), 106}, {write.get(), 107}};
  toolkit.OpenSheet(*sheet, L"Kestrune", pages);
  Pump();
}

bool WizardHarness::PumpUntil(const std::function<bool()>& condition) {
  // The condition may come true on the worker's side without a message to wake the loop:
  // look again every few milliseconds.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  ui::host::MessageLoop& loop = toolkit.loop();
  while (Clock::now() < deadline) {
    if (loop.RunUntil(condition, std::min(deadline, Clock::now() + std::chrono::milliseconds(5)))) {
      return true;
    }
    if (loop.QuitCode()) break;
  }
  return condition();
}

void WizardHarness::Pump() {
  ui::host::MessageLoop& loop = toolkit.loop();
  loop.RunUntil([&loop] { return !loop.Pending(); },
                std::chrono::steady_clock::now() + std::chrono::seconds(10));
}

std::string WizardHarness::Next() {
  std::string refusal = toolkit.PressNext();
  Pump();
  return refusal;
}

std::string WizardHarness::Back() {
  std::string refusal = toolkit.PressBack();
  Pump();
  return refusal;
}

void WizardHarness::GoToDrivePage() {
  Open();
  Next();
  Next();
}

void WizardHarness::GoToWritePage(uint32_t selection, bool compare) {
  if (devices.recorders.empty()) devices.recorders = {L"( E:\\) KESTRUNE DVD-RW SIM 24X   "};
  GoToDrivePage();
  Choose(L'E');
  const auto& rows = Control(106, CPage_020_Drive::kDiscList).rows;
  for (size_t i = 0; i < rows.size(); ++i) {
    const bool tick = (selection & (1u << i)) != 0;
    if (rows[i].checked != tick) {
      static_cast<void>(
          toolkit.ClickListCheck(CPage_020_Drive::kDiscList, static_cast<int>(i), tick));
    }
  }
  static_cast<void>(toolkit.ClickButton(CPage_020_Drive::kCompareCheck, compare));
  Pump();
  Next();
}

void WizardHarness::GoToWritePageForUsb(bool compare) {
  devices.usbDisks = {UsbDisk(L"Stick", 32ull << 30, {L"F:"})};
  GoToDrivePage();
  Choose(L'F');
  static_cast<void>(toolkit.ClickButton(CPage_020_Drive::kCompareCheck, compare));
  answers.push_back(1);  // the wipe question
  Next();
}

std::optional<int> WizardHarness::RunToQuit() {
  ui::host::MessageLoop& loop = toolkit.loop();
  loop.RunUntil([] { return false; }, std::chrono::steady_clock::now() + std::chrono::seconds(10));
  return loop.QuitCode();
}

int WizardHarness::Count(const std::string& event) const {
  int count = 0;
  for (const std::string& line : timeline.Events()) count += line == event ? 1 : 0;
  return count;
}

std::string WizardHarness::Choose(wchar_t letter) {
  const ui::host::ControlModel& combo = Control(106, CPage_020_Drive::kDriveCombo);
  for (size_t i = 0; i < combo.items.size(); ++i) {
    if ((combo.items[i].data & 0xff) == static_cast<uint32_t>(letter)) {
      std::string refusal =
          toolkit.SelectComboItem(CPage_020_Drive::kDriveCombo, static_cast<int>(i));
      Pump();
      return refusal;
    }
  }
  return "no such drive";
}

const ui::host::HostWindow& WizardHarness::PageWindow(uint32_t templateId) const {
  static const ui::host::HostWindow none;
  const ui::host::HostWindow* window = toolkit.PageWindowOf(templateId);
  return window != nullptr ? *window : none;
}

const ui::host::ControlModel& WizardHarness::Control(uint32_t templateId, uint32_t id) const {
  static const ui::host::ControlModel none;
  const ui::host::ControlModel* control = PageWindow(templateId).Control(id);
  return control != nullptr ? *control : none;
}

std::vector<std::wstring> WizardHarness::Rows(uint32_t templateId, uint32_t id, int column) const {
  std::vector<std::wstring> texts;
  for (const auto& row : Control(templateId, id).rows) {
    texts.push_back(static_cast<size_t>(column) < row.texts.size() ? row.texts[column] : L"");
  }
  return texts;
}

std::vector<uint32_t> WizardHarness::BoxIds() const {
  std::vector<uint32_t> ids;
  for (const Box& box : boxes) ids.push_back(box.id);
  return ids;
}

void WizardHarness::OnMessageBoxOpened(const ui::host::MessageBoxState& box) {
  const auto action = whileOpen.find(box.id);
  if (action != whileOpen.end()) {
    const auto run = std::move(action->second);
    whileOpen.erase(action);
    run();
  }
  int answer = box.DefaultButton();
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  if (!toolkit.AnswerBox(answer).empty()) {
    answer = box.DefaultButton();
    static_cast<void>(toolkit.AnswerBox(answer));
  }
  boxes.push_back({box.id, box.text, box.flags, answer});
}

void WizardHarness::OnSheetEnded(intptr_t result) {
  ended_ = true;
  endCode_ = result;
}

CVantorEnumUSBDetail UsbDisk(const std::wstring& caption, uint64_t sizeBytes,
                             std::vector<std::wstring> partitions, const std::wstring& mediaType) {
  // Every disk made here is a device of its own, at a number of its own.
  static int made = 0;
  const int number = ++made;
  CVantorEnumUSBDetail disk;
  disk.caption = caption;
  disk.size = std::to_wstring(sizeBytes);
  disk.mediaTypeText = mediaType;
  disk.partitions = std::move(partitions);
  disk.pnpDeviceId = L"USBSTOR\\DISK&VEN_TEST&PROD_STICK\\" + std::to_wstring(number);
  disk.deviceId = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(number);
  return disk;
}

}  // namespace kestrune::testing
