#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "app/fixed_text.h"
#include "app/system_time.h"
#include "platform/window_port.h"

namespace kestrune {

class CVantorSheet;
class RepairJournal;
class RunReport;

/// Length limits of the run context's text fields, terminator included.
inline constexpr size_t kPathCapacity = 260;
inline constexpr size_t kLabelCapacity = 100;
inline constexpr size_t kPasswordCapacity = 64;
inline constexpr size_t kUsbSizeCapacity = 10;
inline constexpr uint32_t kMaxSources = 9;

/// Media codes (IMAPI2's physical media types, 20 for a USB drive) and their mask bits.
inline constexpr uint32_t kMediaDvdRDualLayer = 11;
inline constexpr uint32_t kMediaUsbDrive = 20;
inline constexpr uint32_t kMaskDvdRDualLayer = 1u << kMediaDvdRDualLayer;  // 0x800
inline constexpr uint32_t kMaskUsbDrive = 1u << kMediaUsbDrive;            // 0x100000

/// The state word `discState`, which a caller carries from one run to the next: bits 0-4 the
/// media code of a started set, bit 7 + n set when disc n (1 to 9) is written, bit 29 a DVD-R
/// DL set started, bit 31 the set complete.
namespace disc_state {
inline constexpr uint32_t kMediaCodeMask = 0x1f;
inline constexpr uint32_t kDualLayerSetStarted = 0x20000000;
inline constexpr uint32_t kSetComplete = 0x80000000;
/// Bit set when disc `n` (1 to 9) of the set has been written completely.
constexpr uint32_t DiscWritten(uint32_t n) { return 1u << (7 + n); }

constexpr uint32_t MediaCode(uint32_t word) { return word & kMediaCodeMask; }
constexpr bool IsDualLayerSetStarted(uint32_t word) { return (word & kDualLayerSetStarted) != 0; }
constexpr bool IsDiscWritten(uint32_t word, uint32_t n) { return (word & DiscWritten(n)) != 0; }

/// The marks of discs 1 to `count` in `word`, in their places; a count over 9 counts as 9.
constexpr uint32_t DiscMarks(uint32_t word, uint32_t count) {
  const uint32_t discs = count < kMaxSources ? count : kMaxSources;
  return word & (DiscWritten(discs + 1) - DiscWritten(1));
}

/// True when discs 1 to `count` all have their marks in `word` (as for a set of none).
constexpr bool AllDiscsWritten(uint32_t word, uint32_t count) {
  return DiscMarks(word, count) == DiscMarks(~0u, count);
}

/// `word` once disc `n` (1 to 9) has been written on media `mediaCode`: the disc's mark added
/// and the media recorded. Only a DVD-R DL set is continued in a later run, so any other media
/// leaves neither a media code nor a started set behind. The other marks and the completion
/// bit stay as they are.
constexpr uint32_t WithDiscWritten(uint32_t word, uint32_t n, uint32_t mediaCode) {
  uint32_t state = (word | DiscWritten(n)) & ~(kDualLayerSetStarted | kMediaCodeMask);
  if (mediaCode == kMediaDvdRDualLayer) state |= kDualLayerSetStarted | kMediaDvdRDualLayer;
  return state;
}
}  // namespace disc_state

/// The USB disk the user confirmed on the Drive page, as the disk inventory described it when
/// the questions were answered. The USB writer wipes no other device: before the wipe and
/// again before the build the inventory must show this device at this number.
struct UsbTarget {
  FixedText<kPathCapacity> pnpDeviceId;  ///< empty while no USB disk is confirmed
  uint32_t diskNumber = 0;               ///< \\.\PHYSICALDRIVE<diskNumber>
  uint64_t sizeBytes = 0;
  uint32_t partitionCount = 0;  ///< counted partitions, as the Drive page judged them
};

/// What made a USB job stop before it wrote anything, or what its comparison lacked, for the
/// Write page's message: a file, an image or a drive, and sizes in the unit the message names.
struct JobProblem {
  FixedText<kPathCapacity> name;
  FixedText<kPathCapacity> place;
  uint64_t needed = 0;
  uint64_t available = 0;
};

/// One source file (disc image): disc n is written from entry n - 1.
struct SourceEntry {
  FixedText<kPathCapacity> path;
  uint64_t sizeBytes = 0;
};

/// Everything one run knows: the command-line values, the source survey's results, the
/// wizard's choices and the live progress of a running write. One per process; start-up owns
/// it and hands the same instance to every part of the program. A value-initialised record is
/// the zero-filled record; SetRunContextDefaults adds the two defaults.
///
/// Each field has one writer at a time. The words that the worker thread or the disc
/// service's callbacks write while the UI thread reads them are atomic.
struct RunContext {
  uint32_t discState = 0;
  uint32_t surveyResult = 0;
  uint32_t estimatedMinutes = 0;
  uint32_t requiredMB = 0;
  FixedText<kUsbSizeCapacity> usbSizeGB;
  uint32_t discSelMask = 0;
  uint32_t mediaType = 0;
  wchar_t targetDriveLetter = 0;
  uint32_t allowRewritable = 0;
  uint32_t noBurnVerify = 0;
  uint32_t noWrite = 0;
  uint32_t noEject = 0;
  uint32_t allowPartial = 0;
  uint32_t allowedMediaMask = 0;
  // The progress of a running disc write. The burn resets them before the write starts; the
  // write-progress sink sets them while it runs; the Write page only reads them.
  std::atomic<uint32_t> sectorCount{0};
  std::atomic<uint32_t> lastWrittenLba{0};
  /// When data writing began (the first writing-data event); all zero until then.
  AtomicSystemTime writeStartTime;
  /// When finalization began; all zero until then. Recorded before `finalizing` is set, so
  /// a reader that sees `finalizing` (or a non-zero time) sees the whole time.
  AtomicSystemTime finalizeTime;
  /// Set by the UI to cancel the running write; the burn clears it when its step starts, the
  /// sink when it has passed the cancel on to the writer.
  std::atomic<uint32_t> cancelRequested{0};
  std::atomic<uint32_t> verifyTicks{0};
  std::atomic<uint32_t> imageSizeMB{0};
  std::atomic<uint32_t> finalizing{0};
  std::atomic<uint32_t> comparing{0};
  uint32_t compareAfterWrite = 0;
  uint32_t sourceCount = 0;
  std::array<SourceEntry, kMaxSources> sources;
  FixedText<kPathCapacity> usbVolumeLabel;
  FixedText<kLabelCapacity> discLabel;
  FixedText<kPasswordCapacity> password;
  uint32_t bitness = 0;
  UsbTarget usbTarget;
  /// Written by the worker before it reports the end of a failed USB job.
  JobProblem problem;
  /// Set by the worker when a failed USB job left its stick marked as incomplete.
  std::atomic<uint32_t> usbMarkedIncomplete{0};
  /// The run's private work area (app/work_area.h): the carried tools and every file the
  /// program writes and then runs or reads back. Empty while there is none.
  FixedText<kPathCapacity> workArea;
  /// This run's repair journal (app/repair_journal.h), set by start-up for the whole run:
  /// every change that would outlive the process is noted there first. Null: none is kept.
  RepairJournal* journal = nullptr;
  /// What this run wrote and checked (app/run_report.h), set by start-up while the wizard
  /// runs; the worker adds each medium and step. Null: no report is kept.
  RunReport* report = nullptr;
  std::atomic<CVantorSheet*> sheet{nullptr};
  /// The sheet's window while the sheet exists: set before it shows, cleared before it is
  /// destroyed. Other threads reach the sheet only by posting to it, never through `sheet`.
  std::atomic<WindowHandle> sheetWnd{nullptr};
  std::atomic<WindowHandle> writePageWnd{nullptr};
};

/// The defaults that follow the zero fill: DVD-R DL allowed, a 32-bit caller.
inline void SetRunContextDefaults(RunContext& context) {
  context.allowedMediaMask = kMaskDvdRDualLayer;
  context.bitness = 32;
}

}  // namespace kestrune
