#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "devices/imapi_context.h"
#include "devices/usb_disks.h"
#include "platform/hresult.h"
#include "wizard/strings.h"
#include "wizard/view_ports.h"

namespace kestrune {

/// The device, disc and volume questions the pages ask, synchronously on the UI thread.
/// DeviceFunctions (wizard/device_functions.h) answers them with the functions of devices/
/// and the platform ports; unit tests answer them with fakes.
class WizardDevices {
 public:
  virtual ~WizardDevices() = default;

  /// The optical recorders as drive list entries ("( E:\ ) VENDOR PRODUCT ").
  virtual void EnumRecorders(std::vector<std::wstring>& entries) = 0;
  /// The USB disks that may receive the set, removable ones first.
  virtual void EnumUSBDisks(std::vector<CVantorEnumUSBDetail>& list) = 0;
  /// What the drive can write and what it holds (0 = final answer; see devices/recorders.h).
  [[nodiscard]] virtual platform::HResult ScanDriveMedia(wchar_t letter,
                                                         uint32_t* supportedMediaMask,
                                                         uint32_t* currentMediaCode) = 0;
  [[nodiscard]] virtual bool BindRecorder(wchar_t letter, uint32_t mediaCode) = 0;
  /// One poll of the disc in the bound drive: a MEDIA_... verdict.
  [[nodiscard]] virtual uint32_t CheckInsertedMedia() = 0;
  /// True on Windows 8 and later (and wherever the older systems' limits do not apply).
  [[nodiscard]] virtual bool IsWindows8OrGreater() = 0;
  /// The free bytes of the volume that holds the work folder `folder`, and the name by which
  /// the user knows that volume ("C:" on Windows, its mount point on Linux). False when the
  /// volume cannot answer.
  [[nodiscard]] virtual bool WorkVolumeFreeSpace(const std::wstring& folder,
                                                 std::wstring& volumeName, uint64_t& freeBytes) = 0;
};

/// What every controller of the wizard shares: the run's records, the view ports of the front
/// end, the device questions and the language of the texts.
struct WizardContext {
  RunContext& run;
  ImapiContext& imapi;
  ViewPorts& ui;
  WizardDevices& devices;
  Language language = Language::kEnglish;

  /// String `id` in the wizard's language.
  std::wstring Text(uint32_t id) const { return LoadText(id, language); }
  /// String `id` with its %1 to %5 filled.
  std::wstring Format(uint32_t id, std::initializer_list<std::wstring> inserts) const;

  /// Shows string `id` (already formatted as `text`) in a message box owned by the sheet
  /// while it exists; without it the box stays on top of other programs. The answer.
  int Message(uint32_t id, const std::wstring& text, uint32_t flags) const;
  /// Message() with the unformatted string.
  int Message(uint32_t id, uint32_t flags) const { return Message(id, Text(id), flags); }
};

/// Decimal text of a number.
std::wstring Decimal(uint64_t value);

}  // namespace kestrune
