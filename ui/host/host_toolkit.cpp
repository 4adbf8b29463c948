#include "ui/host/host_toolkit.h"

#include <algorithm>
#include <chrono>

#include "wizard/window_messages.h"

namespace kestrune::ui::host {

std::vector<int> MessageBoxState::Buttons() const {
  switch (flags & wm::kMbButtonsMask) {
    case wm::kMbOkCancel:
      return {wm::kIdOk, wm::kIdCancel};
    case wm::kMbYesNo:
      return {wm::kIdYes, wm::kIdNo};
    default:
      return {wm::kIdOk};
  }
}

int MessageBoxState::DefaultButton() const {
  const std::vector<int> buttons = Buttons();
  return (flags & wm::kMbDefButton2) != 0 && buttons.size() > 1 ? buttons[1] : buttons[0];
}

ControlModel* HostWindow::Control(uint32_t id) {
  for (ControlModel& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

const ControlModel* HostWindow::Control(uint32_t id) const {
  return const_cast<HostWindow*>(this)->Control(id);
}

HostToolkit::HostToolkit(Language language)
    : language_(language), ports_{loop_, *this, *this, *this, *this, *this, *this, *this, *this} {
  loop_.SetDispatcher([this](const LoopMessage& message) { Dispatch(message); });
  loop_.SetIdleHook([this] {
    if (observer_ != nullptr) observer_->OnIdle();
  });
}

HostToolkit::~HostToolkit() = default;

HostWindow* HostToolkit::Find(WindowHandle window) {
  const auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

const HostWindow* HostToolkit::Find(WindowHandle window) const {
  const auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

const HostWindow* HostToolkit::Window(WindowHandle window) const { return Find(window); }

ControlModel* HostToolkit::Find(WindowHandle window, uint32_t id) {
  HostWindow* host = Find(window);
  return host == nullptr ? nullptr : host->Control(id);
}

HostWindow& HostToolkit::CreateWindow(WindowProcedure& procedure, HostWindow::Kind kind,
                                      uint32_t templateId, WindowHandle owner) {
  auto window = std::make_unique<HostWindow>();
  window->handle = loop_.NewWindow();
  window->procedure = &procedure;
  window->kind = kind;
  window->templateId = templateId;
  window->owner = owner;
  if (const DialogTemplate* layout = FindDialogTemplate(templateId)) {
    if (layout->captionId != 0) window->caption = LoadText(layout->captionId, language_);
    for (const TemplateControl& source : layout->controls) {
      ControlModel control;
      control.id = source.id;
      control.kind = source.kind;
      control.textId = source.textId;
      control.x = source.x;
      control.y = source.y;
      control.width = source.width;
      control.height = source.height;
      control.style = source.style;
      control.iconId = source.iconId;
      if (source.textId != 0) control.text = LoadText(source.textId, language_);
      control.visible = (source.style & control_style::kHidden) == 0;
      control.enabled = (source.style & control_style::kDisabled) == 0;
      control.marquee = (source.style & control_style::kMarquee) != 0;
      window->controls.push_back(std::move(control));
    }
  }
  HostWindow& created = *window;
  procedure.AttachWindow(created.handle);
  windows_[created.handle] = std::move(window);
  return created;
}

intptr_t HostToolkit::Send(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) {
  HostWindow* host = Find(window);
  if (host == nullptr) return 0;
  intptr_t result = 0;
  if (host->procedure->OnMessage(message, wParam, lParam, result)) return result;
  host = Find(window);
  if (host != nullptr) DefaultProcessing(*host, message, wParam, lParam);
  return result;
}

bool HostToolkit::DefaultProcessing(HostWindow& window, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
  if (window.kind != HostWindow::Kind::kSheet) return false;
  switch (message) {
    case wm::kSetWizButtons:
      wizardButtons_ = static_cast<uint32_t>(lParam);
      return true;
    case wm::kSysCommand:
      if ((wParam & 0xFFF0) == wm::kScClose) EndSheet(wm::kIdCancel);
      return true;
    case wm::kCommand:
      if ((wParam & 0xffff) == static_cast<uintptr_t>(wm::kIdCancel)) EndSheet(wm::kIdCancel);
      return true;
    default:
      return false;
  }
}

void HostToolkit::Dispatch(const LoopMessage& message) {
  HostWindow* window = Find(message.window);
  if (window == nullptr) return;
  if (message.code == wm::kDeviceChange && window->kind == HostWindow::Kind::kSheet) {
    // The payload travels packed in lParam: unit mask, flags, volume or not.
    const auto packed = static_cast<uint64_t>(message.lParam);
    wm::DeviceBroadcast broadcast;
    broadcast.unitMask = static_cast<uint32_t>(packed & 0xffffffffu);
    broadcast.flags = static_cast<uint16_t>((packed >> 32) & 0xffff);
    broadcast.deviceType = (packed >> 48) != 0 ? wm::kDbtDevTypVolume : 0;
    const bool hasPayload = message.wParam != wm::kDbtDevNodesChanged;
    Send(message.window, message.code, message.wParam,
         hasPayload ? reinterpret_cast<intptr_t>(&broadcast) : 0);
    return;
  }
  Send(message.window, message.code, message.wParam, message.lParam);
}

void HostToolkit::PostDeviceChange(uint32_t event, uint32_t unitMask, uint16_t flags) {
  static_assert(sizeof(intptr_t) >= 8, "the device payload is packed into lParam");
  const WindowHandle sheet = sheetWindow_;
  if (sheet == nullptr) return;
  const uint64_t packed =
      unitMask | (static_cast<uint64_t>(flags) << 32) | (static_cast<uint64_t>(1) << 48);
  static_cast<void>(loop_.Post(sheet, wm::kDeviceChange, event, static_cast<intptr_t>(packed)));
}

// --- WindowView ---

bool HostToolkit::IsWindow(WindowHandle window) { return Find(window) != nullptr; }

void HostToolkit::EnableWindow(WindowHandle window, bool enable) {
  if (HostWindow* host = Find(window)) host->enabled = enable;
}

bool HostToolkit::IsWindowEnabled(WindowHandle window) {
  const HostWindow* host = Find(window);
  return host != nullptr && host->enabled;
}

void HostToolkit::ShowWindow(WindowHandle window, bool show) {
  if (HostWindow* host = Find(window)) host->visible = show;
}

void HostToolkit::SetCaption(WindowHandle window, const std::wstring& text) {
  if (HostWindow* host = Find(window)) host->caption = text;
}

void HostToolkit::BringToFront(WindowHandle) {}

void HostToolkit::DestroyWindow(WindowHandle window) {
  HostWindow* host = Find(window);
  if (host == nullptr) return;
  WindowProcedure* procedure = host->procedure;
  intptr_t ignored = 0;
  procedure->OnMessage(wm::kDestroy, 0, 0, ignored);
  // Windows it owns go with it.
  std::vector<WindowHandle> owned;
  for (const auto& [handle, other] : windows_) {
    if (other->owner == window && other->kind == HostWindow::Kind::kDialog) owned.push_back(handle);
  }
  for (const WindowHandle handle : owned) DestroyWindow(handle);
  loop_.RemoveWindow(window);
  procedure->AttachWindow(nullptr);
  windows_.erase(window);
}

// --- DialogView ---

int HostToolkit::ShowMessage(WindowHandle owner, uint32_t stringId, const std::wstring& text,
                             uint32_t flags) {
  if (loop_.QuitCode()) return 0;
  MessageBoxState box{stringId, text, flags};
  HostWindow* ownerWindow = Find(owner);
  const bool disabled = ownerWindow != nullptr && ownerWindow->enabled;
  if (disabled) ownerWindow->enabled = false;
  boxes_.push_back(&box);
  if (observer_ != nullptr) observer_->OnMessageBoxOpened(box);
  loop_.RunUntil([&box] { return box.answered; });
  std::erase(boxes_, &box);
  if (disabled) {
    if (HostWindow* again = Find(owner)) again->enabled = true;
  }
  if (observer_ != nullptr) observer_->OnMessageBoxClosed(box);
  return box.answered ? box.answer : 0;
}

intptr_t HostToolkit::RunModal(WindowProcedure& dialog, uint32_t templateId, WindowHandle owner) {
  if (loop_.QuitCode()) return 0;
  HostWindow& window = CreateWindow(dialog, HostWindow::Kind::kDialog, templateId, owner);
  const WindowHandle handle = window.handle;
  window.modal = true;
  HostWindow* ownerWindow = Find(owner);
  const bool disabled = ownerWindow != nullptr && ownerWindow->enabled;
  if (disabled) ownerWindow->enabled = false;
  Send(handle, wm::kInitDialog, 0, 0);
  loop_.RunUntil([this, handle] {
    const HostWindow* running = Find(handle);
    return running == nullptr || running->modalEnded;
  });
  intptr_t result = 0;
  if (HostWindow* ended = Find(handle)) {
    if (ended->modalEnded) result = ended->modalResult;
    DestroyWindow(handle);
  }
  if (disabled) {
    if (HostWindow* again = Find(owner)) again->enabled = true;
  }
  return result;
}

void HostToolkit::EndModal(WindowHandle dialog, intptr_t result) {
  HostWindow* window = Find(dialog);
  if (window == nullptr || !window->modal || window->modalEnded) return;
  window->modalEnded = true;
  window->modalResult = result;
}

WindowHandle HostToolkit::CreateModeless(WindowProcedure& dialog, uint32_t templateId,
                                         WindowHandle owner) {
  const WindowHandle handle =
      CreateWindow(dialog, HostWindow::Kind::kDialog, templateId, owner).handle;
  Send(handle, wm::kInitDialog, 0, 0);
  return handle;
}

void HostToolkit::PostQuit(int exitCode) { loop_.PostQuit(exitCode); }

bool HostToolkit::ModalDialogRunning() const {
  return std::any_of(windows_.begin(), windows_.end(), [](const auto& entry) {
    return entry.second->modal && !entry.second->modalEnded;
  });
}

std::vector<const HostWindow*> HostToolkit::Dialogs() const {
  std::vector<const HostWindow*> dialogs;
  for (const auto& [handle, window] : windows_) {
    if (window->kind == HostWindow::Kind::kDialog) dialogs.push_back(window.get());
  }
  return dialogs;
}

// --- TimerView ---

bool HostToolkit::SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) {
  return Find(window) != nullptr && loop_.SetTimer(window, id, milliseconds);
}

void HostToolkit::KillTimer(WindowHandle window, uintptr_t id) { loop_.KillTimer(window, id); }

uint64_t HostToolkit::NowMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   loop_.Now().time_since_epoch())
                                   .count());
}

// --- SheetView ---

void HostToolkit::OpenSheet(WindowProcedure& sheet, const std::wstring& caption,
                            std::span<const SheetPage> pages) {
  HostWindow& window = CreateWindow(sheet, HostWindow::Kind::kSheet, 0, nullptr);
  const WindowHandle handle = window.handle;
  window.caption = caption;
  window.visible = true;
  for (const uint32_t id : {kBackButton, kNextButton, static_cast<uint32_t>(wm::kIdCancel)}) {
    ControlModel button;
    button.id = id;
    button.kind = ControlKind::kPushButton;
    window.controls.push_back(button);
  }
  pages_.clear();
  for (const SheetPage& page : pages) pages_.push_back({page.procedure, page.templateId, nullptr});
  activePage_ = -1;
  wizardButtons_ = 0;
  sheetEnded_ = false;
  sheetWindow_ = handle;

  Send(handle, wm::kInitDialog, 0, 0);
  if (!pages_.empty()) Activate(0);
}

void HostToolkit::CloseSheet(intptr_t result) {
  const WindowHandle handle = sheetWindow_;
  HostWindow* sheet = Find(handle);
  if (sheet == nullptr) return;
  WindowProcedure* procedure = sheet->procedure;
  // A last look at the screen as the sheet left it.
  if (observer_ != nullptr) observer_->OnIdle();
  // The sheet goes first, then its pages, as a window's children follow it.
  intptr_t ignored = 0;
  procedure->OnMessage(wm::kDestroy, 0, 0, ignored);
  for (Page& page : pages_) {
    if (page.window != nullptr) DestroyWindow(page.window);
    page.window = nullptr;
  }
  sheetWindow_ = nullptr;
  activePage_ = -1;
  loop_.RemoveWindow(handle);
  procedure->AttachWindow(nullptr);
  windows_.erase(handle);
  if (observer_ != nullptr) observer_->OnSheetEnded(result);
}

intptr_t HostToolkit::RunSheet(WindowProcedure& sheet, const std::wstring& caption,
                               std::span<const SheetPage> pages) {
  if (loop_.QuitCode()) return 0;
  OpenSheet(sheet, caption, pages);
  const bool closed = loop_.RunUntil([this] { return sheetEnded_; });
  intptr_t result = sheetResult_;
  if (!closed) {
    // The sheet's loop is the outermost: it takes the quit for itself.
    result = loop_.QuitCode().value_or(0);
    loop_.ClearQuit();
  }
  CloseSheet(result);
  return result;
}

int HostToolkit::ActivePage(WindowHandle sheet) {
  return sheet != nullptr && sheet == sheetWindow_.load() ? activePage_ : -1;
}

WindowHandle HostToolkit::PageWindow(WindowHandle sheet, int index) {
  if (sheet == nullptr || sheet != sheetWindow_.load()) return nullptr;
  if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
  return pages_[static_cast<size_t>(index)].window;
}

uint32_t HostToolkit::ActivePageTemplate() const {
  return activePage_ < 0 ? 0 : pages_[static_cast<size_t>(activePage_)].templateId;
}

const HostWindow* HostToolkit::ActivePageWindow() const {
  return activePage_ < 0 ? nullptr : Find(pages_[static_cast<size_t>(activePage_)].window);
}

const HostWindow* HostToolkit::PageWindowOf(uint32_t templateId) const {
  for (const Page& page : pages_) {
    if (page.templateId == templateId) return Find(page.window);
  }
  return nullptr;
}

void HostToolkit::Activate(int index) {
  if (activePage_ >= 0) {
    const WindowHandle old = pages_[static_cast<size_t>(activePage_)].window;
    if (HostWindow* window = Find(old)) window->visible = false;
    Send(old, wm::kShowWindow, 0, 0);
  }
  activePage_ = index;
  Page& page = pages_[static_cast<size_t>(index)];
  if (page.window == nullptr) {
    page.window =
        CreateWindow(*page.procedure, HostWindow::Kind::kPage, page.templateId, sheetWindow_)
            .handle;
    Send(page.window, wm::kInitDialog, 0, 0);
  }
  if (HostWindow* window = Find(page.window)) window->visible = true;
  Send(page.window, wm::kShowWindow, 1, 0);
}

void HostToolkit::EndSheet(intptr_t result) {
  if (sheetEnded_) return;
  sheetEnded_ = true;
  sheetResult_ = result;
}

}  // namespace kestrune::ui::host
