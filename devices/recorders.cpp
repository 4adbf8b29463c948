#include "devices/recorders.h"

#include <algorithm>
#include <mutex>

#include "text/ascii_case.h"

namespace kestrune {
namespace {

namespace imapi = platform::imapi;
using platform::Failed;
using platform::Succeeded;

constexpr uint32_t kHighestDiscMediaCode = 19;

// A visit of the walk sees the initialised temporary recorder; it may take it (move it out).
// A failure it returns ends the walk with that code; so does `stop`, with whatever it returned.
template <typename Visit>
HResult WalkRecorders(platform::DiscService& master, Visit&& visit) {
  uint32_t count = 0;
  HResult hr = master.GetRecorderCount(count);
  if (Failed(hr)) return hr;
  for (uint32_t index = 0; index < count; ++index) {
    std::unique_ptr<platform::DiscRecorder> recorder = master.CreateRecorder(hr);
    if (!recorder) return Failed(hr) ? hr : platform::kE_FAIL;
    std::wstring uniqueId;
    hr = master.GetRecorderUniqueId(index, uniqueId);
    if (Failed(hr)) return hr;
    hr = recorder->InitializeDiscRecorder(uniqueId);
    if (Failed(hr)) return hr;
    bool stop = false;
    hr = visit(recorder, stop);
    if (Failed(hr) || stop) return hr;
  }
  return platform::kS_OK;
}

// The first volume path of exactly three characters ("E:\"), or null.
const std::wstring* DriveRoot(const std::vector<std::wstring>& volumePaths) {
  const auto root = std::find_if(volumePaths.begin(), volumePaths.end(),
                                 [](const std::wstring& path) { return path.size() == 3; });
  return root == volumePaths.end() ? nullptr : &*root;
}

// Reads the recorder's letter (0 for none) into `letter`; the call's result.
HResult ReadLetter(platform::DiscRecorder& recorder, wchar_t& letter) {
  std::vector<std::wstring> paths;
  const HResult hr = recorder.GetVolumePathNames(paths);
  const std::wstring* root = DriveRoot(paths);
  letter = Succeeded(hr) && root ? (*root)[0] : 0;
  return hr;
}

bool NamesVirtualDrive(std::wstring productId) {
  for (auto& c : productId) c = text::AsciiUpper(c);
  return productId.find(L"VIRTUAL") != std::wstring::npos;
}

bool Contains(const std::vector<uint32_t>& values, uint32_t wanted) {
  return std::find(values.begin(), values.end(), wanted) != values.end();
}

// The writer goes back to the bound recorder, or to none. Were that refused, the writer
// would still point at a recorder about to be released, so it is then emptied and the
// binding dropped (the next BindRecorder binds afresh).
void GiveBackBoundRecorder(ImapiContext& imapi) {
  platform::DiscDataWriter& format = *imapi.format;
  if (imapi.targetMediaType != 0 && imapi.recorder &&
      Succeeded(format.PutRecorder(imapi.recorder.get()))) {
    return;
  }
  static_cast<void>(format.PutRecorder(nullptr));  // taking a recorder out cannot be refused
  imapi.targetMediaType = 0;
  imapi.boundLetter = 0;
}

bool Usable(const ImapiContext& imapi) {
  return imapi.ready == 1 && imapi.master != nullptr && imapi.format != nullptr;
}

}  // namespace

bool EnumRecorders(ImapiContext& imapi, std::vector<std::wstring>& entries) {
  entries.clear();
  if (!Usable(imapi)) return false;
  const HResult walked = WalkRecorders(*imapi.master, [&](auto& recorder, bool&) {
    std::wstring vendor, product;
    std::vector<std::wstring> paths;
    HResult hr = recorder->GetVendorId(vendor);
    if (Succeeded(hr)) hr = recorder->GetProductId(product);
    if (Succeeded(hr)) hr = recorder->GetVolumePathNames(paths);
    if (Failed(hr)) return hr;
    const std::wstring* root = DriveRoot(paths);
    if (root && !NamesVirtualDrive(product)) {
      entries.push_back(L"( " + *root + L" ) " + vendor + L" " + product + L" ");
    }
    return hr;
  });
  return Succeeded(walked);
}

HResult ScanDriveMedia(ImapiContext& imapi, wchar_t letter, uint32_t* supportedMediaMask,
                       uint32_t* currentMediaCode) {
  if (!supportedMediaMask || !currentMediaCode || letter == 0 || !Usable(imapi))
    return platform::kE_FAIL;
  *supportedMediaMask = 0;
  *currentMediaCode = 0;
  std::unique_lock writer(imapi.writerInUse, std::try_to_lock);
  if (!writer.owns_lock()) return imapi::kE_WRITE_IN_PROGRESS;

  platform::DiscDataWriter& format = *imapi.format;
  return WalkRecorders(*imapi.master, [&](auto& recorder, bool& stop) {
    wchar_t recorderLetter = 0;
    const HResult hr = ReadLetter(*recorder, recorderLetter);
    if (Failed(hr) || recorderLetter != letter) return hr;
    stop = true;

    std::vector<uint32_t> profiles;
    const HResult result = recorder->GetCurrentProfiles(profiles);
    // Without the profiles nothing is read from the writer: it would still hold the bound
    // drive, not this one.
    if (Failed(result)) return result;
    const bool dualLayerDvdR = Contains(profiles, imapi::kProfileDvdMinusRDualLayerSequential) ||
                               Contains(profiles, imapi::kProfileDvdMinusRDualLayerJump);
    if (Failed(format.PutRecorder(recorder.get()))) return result;
    std::vector<uint32_t> mediaTypes;
    if (Succeeded(format.GetSupportedMediaTypes(mediaTypes))) {
      if (dualLayerDvdR && Contains(mediaTypes, kMediaDvdRDualLayer))
        *supportedMediaMask |= kMaskDvdRDualLayer;
      uint32_t mediaType = 0;
      if (Succeeded(format.GetCurrentPhysicalMediaType(mediaType))) *currentMediaCode = mediaType;
    }
    // The writer lets go of the scan's recorder before the walk releases it.
    GiveBackBoundRecorder(imapi);
    return result;
  });
}

bool BindRecorder(ImapiContext& imapi, wchar_t letter, uint32_t mediaCode) {
  if (!Usable(imapi) || letter == 0 || mediaCode < 1 || mediaCode > kHighestDiscMediaCode)
    return false;
  std::unique_lock writer(imapi.writerInUse, std::try_to_lock);
  if (!writer.owns_lock()) return false;
  if (imapi.targetMediaType != 0 && imapi.boundLetter == letter) {
    imapi.targetMediaType = mediaCode;
    return true;
  }

  platform::DiscDataWriter& format = *imapi.format;
  std::unique_ptr<platform::DiscRecorder> chosen;
  const HResult walked = WalkRecorders(*imapi.master, [&](auto& recorder, bool& stop) {
    wchar_t recorderLetter = 0;
    HResult hr = ReadLetter(*recorder, recorderLetter);
    if (Failed(hr) || recorderLetter != letter) return hr;
    stop = true;
    hr = format.PutRecorder(recorder.get());
    if (Succeeded(hr)) chosen = std::move(recorder);
    return hr;
  });
  if (Failed(walked) || !chosen) {
    // A walk that failed before reaching the drive may leave the writer on the old drive.
    static_cast<void>(format.PutRecorder(nullptr));
    imapi.targetMediaType = 0;
    imapi.boundLetter = 0;
    return false;
  }
  // A writer without a client name still writes.
  static_cast<void>(format.PutClientName(kDiscClientName));
  // The previous recorder goes only now, after the writer has let go of it.
  imapi.recorder = std::move(chosen);
  imapi.boundLetter = letter;
  imapi.targetMediaType = mediaCode;
  return true;
}

uint32_t CheckInsertedMedia(ImapiContext& imapi, const RunContext& context) {
  if (!Usable(imapi)) return MEDIA_RETRY;
  std::unique_lock writer(imapi.writerInUse, std::try_to_lock);
  if (!writer.owns_lock()) return MEDIA_RETRY;
  platform::DiscDataWriter& format = *imapi.format;

  uint32_t status = 0;
  HResult hr = format.GetCurrentMediaStatus(status);
  if (hr == imapi::kE_MEDIA_NO_MEDIA) return MEDIA_NO_DISC;
  if (Failed(hr)) return MEDIA_RETRY;
  if (status & imapi::kMediaDamaged) return MEDIA_UNUSABLE;
  const bool rewritableAllowed = context.allowRewritable != 0;
  const uint32_t usable =
      rewritableAllowed ? imapi::kMediaBlank | imapi::kMediaOverwriteOnly : imapi::kMediaBlank;
  if ((status & usable) == 0) return MEDIA_NOT_BLANK;

  uint32_t mediaType = 0;
  hr = format.GetCurrentPhysicalMediaType(mediaType);
  if (Failed(hr)) return MEDIA_RETRY;
  bool accepted = false;
  switch (mediaType) {
    case imapi::kMediaTypeDvdMinusRDualLayer:
    case imapi::kMediaTypeBdR:
      accepted = true;
      break;
    case imapi::kMediaTypeDvdPlusRwDualLayer:
    case imapi::kMediaTypeBdRe:
      accepted = rewritableAllowed;
      break;
    default:
      break;
  }
  // Every set is made of dual-layer DVD-R images; only a drive bound for them takes a disc.
  return accepted && imapi.targetMediaType == kMediaDvdRDualLayer ? MEDIA_READY : MEDIA_WRONG_TYPE;
}

}  // namespace kestrune
