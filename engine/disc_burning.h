#pragma once

#include <cstdint>
#include <optional>

#include "devices/imapi_context.h"
#include "engine/event_data_writer.h"
#include "engine/job_steps.h"
#include "platform/power_requests.h"

namespace kestrune {

/// The steps of a disc job that use the recorder: burning disc n from source entry n - 1
/// onto the disc in the bound drive, and ejecting that disc afterwards. Runs on the worker
/// thread; holds the ImapiContext's `writerInUse` while it uses the writer or the recorder,
/// so that the UI's media checks keep off meanwhile.
class DiscBurningSteps final : public DiscWritingSteps {
 public:
  /// `imapi` is the context start-up created and the Drive page bound; `sink` is the
  /// progress receiver start-up created and stored in imapi.sink; `power` gives the burn its
  /// own power request (nested inside the disc job's). All must outlive the object.
  DiscBurningSteps(ImapiContext& imapi, CEventDataWriter& sink, platform::PowerRequests& power)
      : imapi_(imapi), sink_(sink), power_(power) {}

  /// RESULT_STOPPED when the stop event is already set (nothing is touched); otherwise
  /// RESULT_OK when the image was written (or, with "/NW", would have been) and
  /// RESULT_BURN_FAILED for anything else: a disc number outside 1..min(9, sourceCount), a
  /// failure of the disc service, a cancelled write, or a cancel or exit request that was
  /// pending when the write would have started (the disc then stays untouched).
  ///
  /// Around the write it writes the carried tools into the work folder and afterwards removes
  /// exactly the ones it wrote there, by name; nothing else in the folder is touched.
  uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) override;

  /// Opens the tray of the bound drive. Outcome ignored, as nothing can be done about it.
  void EjectMedia(CVantorThread& worker) override;

  /// The disc-service part of the burn: writes source entry `index` with the drive's highest
  /// speed, full verification (none with "/NV"), the disc closed, overwriting rewritable
  /// discs, and the sink connected. The HResult of the last call made: the write's result
  /// when it ran, S_OK with "/NW", E_ABORT when a cancel or exit request kept it from
  /// starting, or the first failing call before it. The caller holds `writerInUse`.
  platform::HResult BurnImage(RunContext& context, uint32_t index);

 private:
  platform::HResult WriteWithSinkConnected(RunContext& context, platform::DiscImageStream& stream);

  ImapiContext& imapi_;
  CEventDataWriter& sink_;
  platform::PowerRequests& power_;
  /// The cookie of a connection that could not be undone; retried before the next write.
  std::optional<uint32_t> staleCookie_;
};

}  // namespace kestrune
