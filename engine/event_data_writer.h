#pragma once

#include <atomic>
#include <cstdint>

#include "app/run_context.h"
#include "platform/disc_service.h"
#include "platform/window_port.h"

namespace kestrune {

/// The write-progress sink: turns the progress events of a running disc write into the run
/// context's progress fields and WM_WRITE_ACTION posts to the sheet's window, and passes a
/// cancel the UI asked for on to the writer.
///
/// One object lives for the whole process (start-up creates it and stores it in the
/// ImapiContext's `sink`); the burn connects it to the writer for each write. `Update` runs
/// on the disc service's threads, never on the UI thread: it touches no window object, only
/// the run context's atomic fields, and reaches the sheet by posting to `sheetWnd`.
///
/// Per action: initialising hardware (2) or calibrating power (3) re-arms `firstWritePending`
/// and resets `lastWrittenLba`; writing data (4) takes the sector count (once per write) and
/// the last written sector, and only the first such event after re-arming is posted, with the
/// time data writing began; finalization (5) sets `lastWrittenLba` to the sector count, then
/// the finalization time, then `finalizing`; verifying (7) counts `verifyTicks`.
class CEventDataWriter final : public platform::DataWriteEvents {
 public:
  /// The cookie of a sink that is not connected to a writer.
  static constexpr uint32_t kNotConnected = 0xFEFEFEFE;

  /// `context` receives the progress and holds `cancelRequested` and `sheetWnd`; `windows`
  /// carries the posts. Both must outlive the object.
  CEventDataWriter(RunContext& context, platform::WindowPort& windows)
      : context_(context), windows_(windows) {}

  CEventDataWriter(const CEventDataWriter&) = delete;
  CEventDataWriter& operator=(const CEventDataWriter&) = delete;

  void Update(platform::DiscDataWriter& writer, platform::DataWriteProgress* progress) override;

  /// The connection cookie while the burn has the sink connected; kNotConnected otherwise.
  std::atomic<uint32_t> cookie{kNotConnected};
  /// Set when the process starts and again by actions 2 and 3: the next writing-data event is
  /// the first of a burn and is posted.
  std::atomic<bool> firstWritePending{true};

 private:
  RunContext& context_;
  platform::WindowPort& windows_;
};

}  // namespace kestrune
