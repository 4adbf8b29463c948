#include "sim/sim_disc_service.h"

#include "platform/native_path.h"
#include "sim/machine_actions.h"
#include "sim/sim_disc_writer.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace imapi = platform::imapi;
using platform::HResult;
using text::Utf8FromWide;
using text::WideFromUtf8;

bool Failing(const FailedCalls& calls, const char* call, HResult& hr) {
  const auto it = calls.find(call);
  if (it == calls.end()) return false;
  hr = it->second;
  return true;
}

bool IsOverwriteOnly(uint32_t mediaType) {
  return mediaType == 5 || mediaType == 7 || mediaType == 13 || mediaType == 19;
}

bool IsReadOnly(uint32_t mediaType) {
  return mediaType == 1 || mediaType == 4 || mediaType == 14 || mediaType == 17;
}

}  // namespace

uint32_t MediaStatusOf(const DiscDescription& disc) {
  if (disc.status) return *disc.status;
  uint32_t status = 0;
  if (IsOverwriteOnly(disc.mediaType)) status |= imapi::kMediaOverwriteOnly;
  if (IsReadOnly(disc.mediaType)) {
    status |= imapi::kMediaFinalized | imapi::kMediaNonEmptySession | imapi::kMediaWriteProtected;
  } else if (disc.state == "blank") {
    status |= imapi::kMediaBlank;
  } else if (disc.state == "appendable") {
    status |= imapi::kMediaAppendable | imapi::kMediaNonEmptySession;
  } else {
    status |= imapi::kMediaFinalized | imapi::kMediaNonEmptySession;
  }
  if (disc.damaged) status |= imapi::kMediaDamaged;
  return status;
}

std::vector<uint32_t> ProfilesOf(const DiscDescription& disc) {
  if (disc.profiles) return *disc.profiles;
  switch (disc.mediaType) {
    case 1:
      return {0x08};
    case 2:
      return {0x09};
    case 3:
      return {0x0A};
    case 4:
      return {0x10};
    case 5:
      return {0x12};
    case 6:
      return {0x1B};
    case 7:
      return {0x1A};
    case 8:
      return {0x2B};
    case 9:
      return {0x11};
    case 10:
      return {0x13};
    case 11:
      return {imapi::kProfileDvdMinusRDualLayerSequential};
    case 13:
      return {0x2A};
    case 17:
      return {0x40};
    case 18:
      return {0x41};
    case 19:
      return {0x43};
    default:
      return {};
  }
}

HResult SimDiscService::GetRecorderCount(uint32_t& count) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  HResult hr;
  if (Failing(machine.faults.discService, "GetRecorderCount", hr)) return hr;
  count = static_cast<uint32_t>(machine.recorders.size());
  return platform::kS_OK;
}

HResult SimDiscService::GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  HResult hr;
  if (Failing(machine.faults.discService, "GetRecorderUniqueId", hr)) return hr;
  if (index >= machine.recorders.size()) return platform::kE_INVALIDARG;
  uniqueId = WideFromUtf8(machine.recorders[index].uniqueId);
  return platform::kS_OK;
}

std::unique_ptr<platform::DiscRecorder> SimDiscService::CreateRecorder(HResult& hr) {
  MachineDescription machine;
  hr = machine_.Read(machine) ? platform::kS_OK : platform::kE_FAIL;
  if (hr == platform::kS_OK && !Failing(machine.faults.discService, "CreateRecorder", hr)) {
    return std::make_unique<SimDiscRecorder>(machine_);
  }
  return nullptr;
}

std::unique_ptr<platform::DiscDataWriter> SimDiscService::CreateDataWriter(HResult& hr) {
  MachineDescription machine;
  hr = machine_.Read(machine) ? platform::kS_OK : platform::kE_FAIL;
  if (hr == platform::kS_OK && !Failing(machine.faults.discService, "CreateDataWriter", hr)) {
    return std::make_unique<SimDataWriter>();
  }
  return nullptr;
}

std::unique_ptr<platform::DiscImageStream> SimDiscService::OpenImageStream(const std::wstring& path,
                                                                           HResult& hr) {
  const fs::path file = platform::ToNativePath(path);
  std::error_code error;
  const auto size = fs::file_size(file, error);
  if (error) {
    hr = platform::kE_FILE_NOT_FOUND;
    return nullptr;
  }
  MachineDescription machine;
  HResult sizeResult = platform::kS_OK;
  if (machine_.Read(machine)) Failing(machine.faults.discService, "GetSize", sizeResult);
  hr = platform::kS_OK;
  return std::make_unique<SimImageStream>(file, size, sizeResult);
}

SimDiscRecorder::~SimDiscRecorder() {
  if (heldBy_) heldBy_->RecorderReleased(this);
}

HResult SimDiscRecorder::Describe(const char* call, RecorderDescription& recorder) const {
  if (uniqueId_.empty()) return platform::kE_FAIL;
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  for (const auto& candidate : machine.recorders) {
    if (candidate.uniqueId != uniqueId_) continue;
    HResult hr;
    if (Failing(candidate.failCalls, call, hr)) return hr;
    if (candidate.noAnswer) return imapi::kE_COMMAND_TIMEOUT;
    recorder = candidate;
    return platform::kS_OK;
  }
  return platform::kE_DEVICE_NOT_CONNECTED;
}

HResult SimDiscRecorder::InitializeDiscRecorder(const std::wstring& uniqueId) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  const std::string wanted = Utf8FromWide(uniqueId);
  for (const auto& candidate : machine.recorders) {
    if (candidate.uniqueId != wanted) continue;
    HResult hr;
    if (Failing(candidate.failCalls, "InitializeDiscRecorder", hr)) return hr;
    if (candidate.noAnswer) return imapi::kE_COMMAND_TIMEOUT;
    uniqueId_ = wanted;
    return platform::kS_OK;
  }
  return platform::kE_INVALIDARG;
}

HResult SimDiscRecorder::GetVendorId(std::wstring& vendorId) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetVendorId", recorder);
  if (hr == platform::kS_OK) vendorId = WideFromUtf8(recorder.vendorId);
  return hr;
}

HResult SimDiscRecorder::GetProductId(std::wstring& productId) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetProductId", recorder);
  if (hr == platform::kS_OK) productId = WideFromUtf8(recorder.productId);
  return hr;
}

HResult SimDiscRecorder::GetVolumePathNames(std::vector<std::wstring>& paths) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetVolumePathNames", recorder);
  if (hr != platform::kS_OK) return hr;
  paths.clear();
  if (recorder.volumePaths) {
    for (const auto& path : *recorder.volumePaths) paths.push_back(WideFromUtf8(path));
  } else {
    paths.push_back(WideFromUtf8(recorder.letter + ":\\"));
  }
  return hr;
}

HResult SimDiscRecorder::GetCurrentProfiles(std::vector<uint32_t>& profiles) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetCurrentProfiles", recorder);
  if (hr != platform::kS_OK) return hr;
  profiles = recorder.disc ? ProfilesOf(*recorder.disc) : std::vector<uint32_t>{};
  return hr;
}

HResult SimDiscRecorder::EjectMedia() {
  RecorderDescription recorder;
  const HResult hr = Describe("EjectMedia", recorder);
  if (hr != platform::kS_OK) return hr;
  return EjectDisc(machine_, DriveLetter(recorder.letter)) ? platform::kS_OK : platform::kE_FAIL;
}

}  // namespace kestrune::sim
