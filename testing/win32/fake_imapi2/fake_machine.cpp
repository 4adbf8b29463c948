#include "testing/win32/fake_imapi2/fake_machine.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <iterator>

namespace kestrune::fake_imapi2 {
namespace {

void Copy(wchar_t* target, size_t capacity, const wchar_t* text) {
  wcsncpy(target, text, capacity - 1);
  target[capacity - 1] = L'\0';
}

// A test that wants to look at a write while it runs slows the writing of the recorder of the
// process's first machine down with KESTRUNE_FAKE_BURN_BYTES_PER_SECOND (the verification
// keeps the usual speed); tests that configure their recorders are not affected.
void SlowDownForLooking(FakeImapiRecorder& recorder) {
  const wchar_t* speed = _wgetenv(L"KESTRUNE_FAKE_BURN_BYTES_PER_SECOND");
  if (speed == nullptr || *speed == L'\0') return;
  wchar_t* end = nullptr;
  const unsigned long long value = std::wcstoull(speed, &end, 10);
  if (*end != L'\0' || value == 0) return;
  recorder.verifyBytesPerSecond = recorder.writeBytesPerSecond;
  recorder.writeBytesPerSecond = value;
}

bool IsOverwriteOnly(uint32_t mediaType) {
  return mediaType == 5 || mediaType == 7 || mediaType == 13 || mediaType == 19;
}

}  // namespace

Machine& Machine::Instance() {
  static Machine* machine = [] {
    auto* created = new Machine;
    FakeImapiRecorder recorder{};
    FillDefaultRecorder(recorder);
    SlowDownForLooking(recorder);
    platform::MutexLock lock(created->mutex);
    created->recorders.resize(1);
    created->recorders[0].setup = recorder;
    created->recorders[0].disc = Disc{};
    return created;
  }();
  return *machine;
}

Recorder* Machine::Find(const std::wstring& uniqueId) {
  for (auto& recorder : recorders) {
    if (uniqueId == recorder.setup.uniqueId) return &recorder;
  }
  return nullptr;
}

void FillDefaultRecorder(FakeImapiRecorder& recorder) {
  recorder = FakeImapiRecorder{};
  Copy(recorder.uniqueId, std::size(recorder.uniqueId),
       L"\\\\?\\scsi#cdrom&ven_kestrune&prod_dvd-rw_sim_24x#4&2a6f3b1&0&010000#"
       L"{53f56308-b6bf-11d0-94f2-00a0c91efb8b}");
  Copy(recorder.volumePaths[0], std::size(recorder.volumePaths[0]), L"E:\\");
  Copy(recorder.vendorId, std::size(recorder.vendorId), L"KESTRUNE");
  Copy(recorder.productId, std::size(recorder.productId), L"DVD-RW SIM 24X  ");
  const uint32_t types[] = {2, 3, 6, 7, 8, 9, 10, 11, 13, 18};
  for (uint32_t type : types)
    recorder.supportedMediaTypes[recorder.supportedMediaTypeCount++] = type;
  recorder.writeBytesPerSecond = 11'080'000;
  recorder.eventIntervalMs = 250;
  recorder.announceInitialization = 1;
  recorder.feedBlankMediaType = 11;
  recorder.hasDisc = 1;
  recorder.discMediaType = 11;
  recorder.discState = kFakeDiscBlank;
}

void Configure(const FakeImapiRecorder* recorders, uint32_t count) {
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  machine.recorders.clear();
  for (uint32_t i = 0; i < count; ++i) {
    Recorder recorder;
    recorder.setup = recorders[i];
    recorder.setup.uniqueId[std::size(recorder.setup.uniqueId) - 1] = L'\0';
    recorder.setup.failCall[std::size(recorder.setup.failCall) - 1] = L'\0';
    if (recorder.setup.hasDisc) {
      Disc disc;
      disc.mediaType = recorder.setup.discMediaType;
      disc.state = recorder.setup.discState;
      disc.damaged = recorder.setup.discDamaged != 0;
      disc.capacityBytes = recorder.setup.discCapacityBytes;
      recorder.disc = disc;
    }
    machine.recorders.push_back(std::move(recorder));
  }
}

HRESULT FailingCall(const Recorder& recorder, const wchar_t* call) {
  if (recorder.setup.failCall[0] != L'\0' && wcscmp(recorder.setup.failCall, call) == 0) {
    return static_cast<HRESULT>(recorder.setup.failCode);
  }
  return S_OK;
}

std::vector<std::wstring> VolumePaths(const FakeImapiRecorder& recorder) {
  std::vector<std::wstring> paths;
  for (const auto& path : recorder.volumePaths) {
    if (path[0] == L'\0') break;
    paths.emplace_back(path, wcsnlen(path, std::size(path)));
  }
  return paths;
}

std::vector<uint32_t> SupportedMediaTypes(const FakeImapiRecorder& recorder) {
  const uint32_t count =
      std::min<uint32_t>(recorder.supportedMediaTypeCount, std::size(recorder.supportedMediaTypes));
  return std::vector<uint32_t>(recorder.supportedMediaTypes, recorder.supportedMediaTypes + count);
}

bool IsRewritable(uint32_t mediaType) {
  return mediaType == 3 || mediaType == 5 || mediaType == 7 || mediaType == 10 || mediaType == 13 ||
         mediaType == 19;
}

bool IsReadOnly(uint32_t mediaType) {
  return mediaType == 1 || mediaType == 4 || mediaType == 14 || mediaType == 17;
}

uint32_t MediaStatus(const Disc& disc) {
  uint32_t status = 0;
  if (IsOverwriteOnly(disc.mediaType)) status |= 0x0001;
  if (IsReadOnly(disc.mediaType)) {
    status |= 0x4000 | 0x1000 | 0x2000;  // finalized, non-empty session, write-protected
  } else if (disc.state == kFakeDiscBlank) {
    status |= 0x0002;
  } else if (disc.state == kFakeDiscAppendable) {
    status |= 0x0004 | 0x1000;
  } else {
    status |= 0x4000 | 0x1000;
  }
  if (disc.damaged) status |= 0x0400;
  return status;
}

std::vector<uint32_t> Profiles(const Disc& disc) {
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
      return {0x15};
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

uint64_t Capacity(const Disc& disc) {
  if (disc.capacityBytes != 0) return disc.capacityBytes;
  switch (disc.mediaType) {
    case 1:
    case 2:
    case 3:
      return 737'280'000;
    case 8:
    case 11:
    case 13:
      return 8'547'991'552;
    case 17:
    case 18:
    case 19:
      return 25'025'314'816;
    default:
      return 4'707'319'808;
  }
}

}  // namespace kestrune::fake_imapi2
