#include "engine/disc_burning.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/carried_tool_files.h"
#include "app/run_report.h"
#include "app/work_folder.h"
#include "devices/recorders.h"
#include "engine/job_protocol.h"
#include "engine/power_request.h"
#include "engine/vantor_thread.h"

namespace kestrune {
namespace {

namespace imapi = platform::imapi;
using platform::Failed;
using platform::HResult;

/// The write speed that asks the drive for the highest speed it offers.
constexpr uint32_t kHighestWriteSpeed = 0xFFFFFFFF;

bool IsRewritable(uint32_t mediaType) {
  return mediaType == imapi::kMediaTypeDvdPlusRw || mediaType == imapi::kMediaTypeDvdMinusRw ||
         mediaType == imapi::kMediaTypeDvdPlusRwDualLayer || mediaType == imapi::kMediaTypeBdRe;
}

/// The drive chose a nearby speed or rotation: that is what was asked for.
HResult AcceptAdjustedSpeed(HResult hr) {
  const bool adjusted = hr == imapi::kS_SPEED_ADJUSTED || hr == imapi::kS_ROTATION_ADJUSTED ||
                        hr == imapi::kS_BOTH_ADJUSTED;
  return adjusted ? platform::kS_OK : hr;
}

}  // namespace

uint32_t DiscBurningSteps::BurnDisc(CVantorThread& worker, uint32_t disc) {
  platform::AutoResetEvent* stopEvent = worker.m_pStopEvent;
  if (stopEvent != nullptr && stopEvent->TryConsume()) return RESULT_STOPPED;
  RunContext& context = worker.context();
  // A cancel asked for from now on is for this burn, and is kept until the write would start
  // (where it keeps the write from starting) or until the sink passes it on to the writer.
  context.cancelRequested = 0;
  // The number indexes the sources: nothing is written or touched for one out of range.
  if (disc < 1 || disc > std::min(kMaxSources, context.sourceCount)) return RESULT_BURN_FAILED;

  std::lock_guard writer(imapi_.writerInUse);
  ScopedPowerRequest power(power_);
  // The tools go into the run's private work area, which goes with the run: the image folder
  // is never written.
  ExtractTools(worker.tools(), context.workArea.str());
  const HResult hr = BurnImage(context, disc - 1);
  return hr == platform::kS_OK ? RESULT_OK : RESULT_BURN_FAILED;
}

void DiscBurningSteps::EjectMedia(CVantorThread&) {
  if (imapi_.ready != 1 || !imapi_.recorder) return;
  std::lock_guard writer(imapi_.writerInUse);
  static_cast<void>(imapi_.recorder->EjectMedia());  // a tray that stays shut changes nothing
}

HResult DiscBurningSteps::BurnImage(RunContext& context, uint32_t index) {
  if (imapi_.ready != 1 || !imapi_.master || !imapi_.format) return platform::kE_FAIL;
  if (index >= kMaxSources) return platform::kE_INVALIDARG;
  platform::DiscDataWriter& format = *imapi_.format;

  // A writer without a client name still writes.
  static_cast<void>(format.PutClientName(kDiscClientName));
  bool pureCav = false;
  HResult hr = format.GetCurrentRotationTypeIsPureCAV(pureCav);
  if (Failed(hr)) return hr;
  hr = AcceptAdjustedSpeed(format.SetWriteSpeed(kHighestWriteSpeed, pureCav));
  if (Failed(hr)) return hr;

  std::unique_ptr<platform::DiscImageStream> stream =
      imapi_.master->OpenImageStream(context.sources[index].path.str(), hr);
  if (!stream) return Failed(hr) ? hr : platform::kE_FAIL;
  uint64_t sizeBytes = 0;
  hr = stream->GetSize(sizeBytes);
  if (Failed(hr)) return hr;
  context.imageSizeMB = static_cast<uint32_t>(sizeBytes >> 20);

  hr = format.PutBurnVerificationLevel(context.noBurnVerify ? imapi::kVerificationNone
                                                            : imapi::kVerificationFull);
  if (Failed(hr)) return hr;
  hr = format.PutForceMediaToBeClosed(true);
  if (Failed(hr)) return hr;
  // Set either way, as the writer keeps it: a write-once disc after a rewritable one must not
  // inherit it. Not checked: without it a used rewritable disc is refused by the write.
  uint32_t mediaType = 0;
  if (!Failed(format.GetCurrentPhysicalMediaType(mediaType))) {
    static_cast<void>(format.PutForceOverwrite(IsRewritable(mediaType)));
  }
  return WriteWithSinkConnected(context, *stream);
}

HResult DiscBurningSteps::WriteWithSinkConnected(RunContext& context,
                                                 platform::DiscImageStream& stream) {
  platform::DiscDataWriter& format = *imapi_.format;
  // A connection whose disconnection failed last time would report every event twice.
  if (staleCookie_ && !Failed(format.Unadvise(*staleCookie_))) staleCookie_.reset();
  uint32_t cookie = 0;
  HResult hr = format.Advise(&sink_, cookie);
  if (Failed(hr)) return hr;
  sink_.cookie = cookie;

  context.sectorCount = 0;
  context.lastWrittenLba = 0;
  context.verifyTicks = 0;
  context.finalizing = 0;
  context.writeStartTime.Clear();
  context.finalizeTime.Clear();
  imapi_.burning = 1;
  if (context.cancelRequested != 0 || imapi_.exitRequested != 0) {
    hr = platform::kE_ABORT;  // the user chose to leave before the disc was touched
    if (context.report != nullptr) context.report->NoteCancelled();
  } else if (context.noWrite != 0) {
    hr = platform::kS_OK;
  } else {
    hr = format.Write(stream);
  }
  imapi_.burning = 0;
  context.finalizing = 0;
  if (Failed(format.Unadvise(cookie))) staleCookie_ = cookie;
  sink_.cookie = CEventDataWriter::kNotConnected;
  return hr;
}

}  // namespace kestrune
