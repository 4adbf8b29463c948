#include "engine/event_data_writer.h"

#include "app/run_report.h"
#include "engine/job_protocol.h"

namespace kestrune {

namespace imapi = platform::imapi;
using platform::Failed;

void CEventDataWriter::Update(platform::DiscDataWriter& writer,
                              platform::DataWriteProgress* progress) {
  // A cancel is passed on at the first event after it was asked for, whatever the event.
  if (context_.cancelRequested.exchange(0) != 0) {
    // The only failure is "no write in progress": then there is nothing to cancel.
    static_cast<void>(writer.CancelWrite());
    if (context_.report != nullptr) context_.report->NoteCancelled();
    return;
  }
  int32_t action = 0;
  if (progress == nullptr || Failed(progress->GetCurrentAction(action))) return;

  int32_t value = 0;
  switch (action) {
    case imapi::kActionInitializingHardware:
    case imapi::kActionCalibratingPower:
      firstWritePending = true;
      context_.lastWrittenLba = 0;
      break;
    case imapi::kActionWritingData:
      if (context_.sectorCount == 0 && !Failed(progress->GetSectorCount(value)))
        context_.sectorCount = static_cast<uint32_t>(value);
      if (!Failed(progress->GetLastWrittenLba(value)))
        context_.lastWrittenLba = static_cast<uint32_t>(value);
      // Only the first writing-data event of a burn is posted; the page follows the rest on
      // its timer.
      if (!firstWritePending.exchange(false)) return;
      context_.writeStartTime.Store(CurrentSystemTime());
      break;
    case imapi::kActionFinalization:
      if (!Failed(progress->GetSectorCount(value)))
        context_.lastWrittenLba = static_cast<uint32_t>(value);
      // The time first, then the flag: a reader that sees the flag sees the whole time.
      context_.finalizeTime.Store(CurrentSystemTime());
      context_.finalizing.store(1, std::memory_order_release);
      break;
    case imapi::kActionVerifying:
      ++context_.verifyTicks;
      break;
    default:
      break;
  }

  const WindowHandle sheet = context_.sheetWnd;
  if (sheet != nullptr && windows_.IsWindow(sheet)) {
    // A sheet that went away meanwhile has nobody left to tell.
    static_cast<void>(windows_.Post(sheet, WM_WRITE_ACTION, static_cast<uintptr_t>(action), 0));
  }
}

}  // namespace kestrune
