#include "engine/source_survey.h"

#include <filesystem>

#include "engine/job_protocol.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

// The size a file-status query reports: a folder has size 0.
bool ReadSize(const SourceEntry& entry, uint64_t& size) {
  if (entry.path.empty()) return false;
  std::error_code error;
  const auto path = platform::ToNativePath(entry.path.view());
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return false;
  size = std::filesystem::is_regular_file(status) ? std::filesystem::file_size(path, error) : 0;
  return !error;
}

}  // namespace

uint32_t RunSourceSurvey(RunContext& context) {
  context.requiredMB = 0;
  context.usbSizeGB.Clear();
  context.sourceCount = 0;

  uint64_t totalBytes = 0;
  for (uint32_t i = 0; i < kMaxSources; ++i) {
    uint64_t size = 0;
    if (!ReadSize(context.sources[i], size)) break;
    context.sources[i].sizeBytes = size;
    totalBytes += size;
    context.sourceCount = i + 1;
  }
  if (context.sourceCount == 0) return RESULT_NO_SOURCES;

  context.requiredMB = static_cast<uint32_t>(totalBytes >> 20) + 500;
  // 14746 is the first value above 3.6 x 4096: sets from there on need a 32 GB drive.
  context.usbSizeGB.Assign(context.requiredMB >= 14746 ? L"32" : L"16");
  context.allowedMediaMask = kMaskDvdRDualLayer;
  if (context.requiredMB <= 28000) context.allowedMediaMask |= kMaskUsbDrive;
  // 295 seconds per whole 1000 MiB and 200 seconds per disc, rounded up to whole minutes and
  // then up to a multiple of ten minutes.
  const uint32_t seconds = ((context.requiredMB - 500) / 1000) * 295 + context.sourceCount * 200;
  context.estimatedMinutes = ((seconds + 59) / 60 + 9) / 10 * 10;
  return RESULT_OK;
}

}  // namespace kestrune
