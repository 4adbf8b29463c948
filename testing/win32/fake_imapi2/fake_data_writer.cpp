// The fake data writer (MsftDiscFormat2Data): checks the disc as IMAPI2 does, copies the
// stream onto the in-memory disc at the recorder's speed and reports the progress actions of
// the simulated machine's writer to every connected DDiscFormat2DataEvents sink, on the
// thread that called Write.
#include "platform/win32/windows_support.h"

#include <objidl.h>
#include <ocidl.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "platform/win32/imapi2_ids.h"
#include "testing/win32/fake_imapi2/fake_machine.h"
#include "testing/win32/fake_imapi2/fake_objects.h"

namespace kestrune::fake_imapi2 {
namespace {

namespace imapi2 = platform::win32::imapi2;

constexpr HRESULT Code(uint32_t value) { return static_cast<HRESULT>(value); }
constexpr HRESULT kRequestCancelled = Code(0xC0AA0002);
constexpr HRESULT kRecorderRequired = Code(0xC0AA0003);
constexpr HRESULT kRotationAdjusted = Code(0x00AA0005);
constexpr HRESULT kSpeedAdjusted = Code(0x00AA0004);
constexpr HRESULT kBothAdjusted = Code(0x00AA0006);
constexpr HRESULT kNoMedia = Code(0xC0AA0202);
constexpr HRESULT kInvalidResponse = Code(0xC0AA02FF);
constexpr HRESULT kWriteInProgress = Code(0xC0AA0400);
constexpr HRESULT kWriteNotInProgress = Code(0xC0AA0401);
constexpr HRESULT kInvalidMediaState = Code(0xC0AA0402);
constexpr HRESULT kStreamNotSupported = Code(0xC0AA0403);
constexpr HRESULT kTooLargeForMedia = Code(0xC0AA0404);
constexpr HRESULT kMediaNotBlank = Code(0xC0AA0405);
constexpr HRESULT kMediaNotSupported = Code(0xC0AA0406);
constexpr HRESULT kClientNameNotValid = Code(0xC0AA0408);
constexpr HRESULT kNoConnection = Code(0x80040200);
constexpr HRESULT kCannotConnect = Code(0x80040202);

constexpr uint64_t kSectorBytes = 2048;
constexpr uint64_t kMinimumEvents = 8;

bool IsPut(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

enum : DISPID {
  kRecorder = 0x100,
  kSupportedMediaTypes = 0x101,
  kCurrentMediaStatus = 0x102,
  kCurrentPhysicalMediaType = 0x103,
  kClientName = 0x104,
  kCurrentRotationTypeIsPureCAV = 0x105,
  kForceMediaToBeClosed = 0x106,
  kForceOverwrite = 0x107,
  kWrite = 0x200,
  kCancelWrite = 0x201,
  kSetWriteSpeed = 0x202,
};
constexpr Member kWriterMembers[] = {
    {L"Recorder", kRecorder},
    {L"SupportedMediaTypes", kSupportedMediaTypes},
    {L"CurrentMediaStatus", kCurrentMediaStatus},
    {L"CurrentPhysicalMediaType", kCurrentPhysicalMediaType},
    {L"ClientName", kClientName},
    {L"CurrentRotationTypeIsPureCAV", kCurrentRotationTypeIsPureCAV},
    {L"ForceMediaToBeClosed", kForceMediaToBeClosed},
    {L"ForceOverwrite", kForceOverwrite},
    {L"Write", kWrite},
    {L"CancelWrite", kCancelWrite},
    {L"SetWriteSpeed", kSetWriteSpeed},
};

class FakeDataWriter final : public FakeDispatch {
 public:
  FakeDataWriter()
      : FakeDispatch(imapi2::kIidIDiscFormat2Data, kWriterMembers, std::size(kWriterMembers)),
        verification_(*this),
        container_(*this),
        point_(*this) {}

 protected:
  HRESULT Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
              VARIANT& result) override;
  HRESULT QueryOther(REFIID iid, void** object) override {
    if (IsEqualIID(iid, imapi2::kIidIBurnVerification)) {
      *object = static_cast<imapi2::IBurnVerification*>(&verification_);
    } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
      *object = static_cast<IConnectionPointContainer*>(&container_);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

 private:
  // Interfaces of the same object that are not dual: they share its reference count.
  template <typename Interface>
  class TearOff : public Interface {
   public:
    explicit TearOff(FakeDataWriter& outer) : outer_(outer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      return outer_.QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_.Release(); }

   protected:
    FakeDataWriter& outer_;
  };

  class Verification final : public TearOff<imapi2::IBurnVerification> {
   public:
    using TearOff::TearOff;
    HRESULT STDMETHODCALLTYPE put_BurnVerificationLevel(LONG value) override {
      return outer_.PutVerificationLevel(value);
    }
    HRESULT STDMETHODCALLTYPE get_BurnVerificationLevel(LONG* value) override {
      if (value == nullptr) return E_POINTER;
      *value = static_cast<LONG>(outer_.verificationLevel_);
      return S_OK;
    }
  };

  class Container final : public TearOff<IConnectionPointContainer> {
   public:
    using TearOff::TearOff;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** list) override {
      if (list != nullptr) *list = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
      if (point == nullptr) return E_POINTER;
      *point = nullptr;
      if (!IsEqualIID(iid, imapi2::kDiidDDiscFormat2DataEvents)) return kNoConnection;
      *point = &outer_.point_;
      outer_.AddRef();
      return S_OK;
    }
  };

  class Point final : public TearOff<IConnectionPoint> {
   public:
    using TearOff::TearOff;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
      if (iid == nullptr) return E_POINTER;
      *iid = imapi2::kDiidDDiscFormat2DataEvents;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override {
      if (container == nullptr) return E_POINTER;
      *container = &outer_.container_;
      outer_.AddRef();
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
      return outer_.Advise(sink, cookie);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override { return outer_.Unadvise(cookie); }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** list) override {
      if (list != nullptr) *list = nullptr;
      return E_NOTIMPL;
    }
  };

  // The bound recorder's entry for `call`, with the machine's lock held by the caller.
  HRESULT Describe(Machine& machine, const wchar_t* call, Recorder*& recorder)
      KESTRUNE_REQUIRES(machine.mutex);
  HRESULT PutRecorder(const VARIANT* argument);
  HRESULT PutVerificationLevel(LONG level);
  HRESULT Advise(IUnknown* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);
  HRESULT Write(const VARIANT* argument);
  HRESULT Burn(IStream& stream, uint64_t size, const FakeImapiRecorder& setup);
  HRESULT CheckDisc(const Recorder& recorder, uint64_t size) const;
  /// Reports one event to every sink; true when a cancel was asked for.
  bool Report(LONG action, LONG sectorCount, LONG lastWrittenLba);
  void MarkFailed(const std::wstring& uniqueId);

  Verification verification_;
  Container container_;
  Point point_;

  // Guarded by the machine's lock.
  windows::ComPtr<FakeDiscRecorder> recorder_;
  std::wstring clientName_;
  uint32_t verificationLevel_ = 1;  // IMAPI2's default: quick
  bool forceClosed_ = false;
  bool forceOverwrite_ = false;
  std::map<DWORD, windows::ComPtr<IDispatch>> sinks_;
  DWORD nextCookie_ = 1;

  std::atomic<bool> writing_{false};
  std::atomic<bool> cancelRequested_{false};
};

HRESULT FakeDataWriter::Describe(Machine& machine, const wchar_t* call, Recorder*& recorder) {
  if (!recorder_) return kRecorderRequired;
  if (recorder_->uniqueId().empty()) return E_FAIL;
  recorder = machine.Find(recorder_->uniqueId());
  if (recorder == nullptr) return Code(0x8007048F);
  return FailingCall(*recorder, call);
}

HRESULT FakeDataWriter::PutRecorder(const VARIANT* argument) {
  if (writing_) return kWriteInProgress;
  windows::ComPtr<FakeDiscRecorder> candidate;
  HRESULT hr = ArgumentInterface(argument, kIidFakeRecorder, candidate.ReceiveVoid());
  if (hr == E_NOINTERFACE) return E_INVALIDARG;
  if (FAILED(hr)) return hr;
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  if (!candidate) {
    recorder_.Reset();
    return S_OK;
  }
  if (candidate->uniqueId().empty()) return E_INVALIDARG;
  std::swap(recorder_, candidate);
  Recorder* entry = nullptr;
  hr = Describe(machine, L"PutRecorder", entry);
  if (FAILED(hr)) std::swap(recorder_, candidate);
  return hr;
}

HRESULT FakeDataWriter::PutVerificationLevel(LONG level) {
  if (level < 0 || level > 2) return E_INVALIDARG;
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  if (recorder_) {
    Recorder* entry = nullptr;
    const HRESULT hr = Describe(machine, L"PutBurnVerificationLevel", entry);
    if (FAILED(hr)) return hr;
  }
  verificationLevel_ = static_cast<uint32_t>(level);
  return S_OK;
}

HRESULT FakeDataWriter::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  windows::ComPtr<IDispatch> events;
  if (FAILED(sink->QueryInterface(IID_IDispatch, events.ReceiveVoid()))) return kCannotConnect;
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  if (recorder_) {
    Recorder* entry = nullptr;
    const HRESULT hr = Describe(machine, L"Advise", entry);
    if (FAILED(hr)) return hr;
  }
  *cookie = nextCookie_++;
  sinks_[*cookie] = std::move(events);
  return S_OK;
}

HRESULT FakeDataWriter::Unadvise(DWORD cookie) {
  // The sink is released after the lock: releasing it may run its destructor.
  windows::ComPtr<IDispatch> events;
  {
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    const auto known = sinks_.find(cookie);
    if (known == sinks_.end()) return kNoConnection;
    events = std::move(known->second);
    sinks_.erase(known);
  }
  return S_OK;
}

bool FakeDataWriter::Report(LONG action, LONG sectorCount, LONG lastWrittenLba) {
  std::vector<windows::ComPtr<IDispatch>> sinks;
  {
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    for (const auto& [cookie, sink] : sinks_) {
      sink->AddRef();  // a reference of the list's own, for the calls after the lock
      sinks.emplace_back(sink.get());
    }
  }
  for (const auto& sink : sinks) {
    const windows::ComPtr<IDispatch> progress(CreateEventArgs(action, sectorCount, lastWrittenLba));
    // Update(object, progress), passed last to first.
    VARIANT arguments[2];
    arguments[0].vt = VT_DISPATCH;
    arguments[0].pdispVal = progress.get();
    arguments[1].vt = VT_DISPATCH;
    arguments[1].pdispVal = static_cast<IDispatch*>(this);
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    sink->Invoke(imapi2::kDispidDataEventsUpdate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                 &parameters, nullptr, nullptr, nullptr);
  }
  return cancelRequested_;
}

HRESULT FakeDataWriter::CheckDisc(const Recorder& recorder, uint64_t size) const {
  if (!recorder.disc) return kNoMedia;
  const Disc& disc = *recorder.disc;
  if (disc.damaged) return kInvalidMediaState;
  const auto supported = SupportedMediaTypes(recorder.setup);
  if (IsReadOnly(disc.mediaType) ||
      std::find(supported.begin(), supported.end(), disc.mediaType) == supported.end()) {
    return kMediaNotSupported;
  }
  const bool blank = (MediaStatus(disc) & 0x2) != 0;
  if (!blank && !(forceOverwrite_ && IsRewritable(disc.mediaType))) return kMediaNotBlank;
  if (size == 0 || size % kSectorBytes != 0) return kStreamNotSupported;
  if (size > Capacity(disc)) return kTooLargeForMedia;
  return S_OK;
}

void FakeDataWriter::MarkFailed(const std::wstring& uniqueId) {
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  Recorder* recorder = machine.Find(uniqueId);
  if (recorder == nullptr || !recorder->disc) return;
  recorder->disc->state = kFakeDiscAppendable;
  recorder->disc->damaged = true;
  recorder->disc->image.clear();
}

HRESULT FakeDataWriter::Write(const VARIANT* argument) {
  if (writing_.exchange(true)) return kWriteInProgress;
  struct Done {
    std::atomic<bool>& flag;
    ~Done() { flag = false; }
  } done{writing_};
  cancelRequested_ = false;

  windows::ComPtr<IStream> stream;
  HRESULT hr = ArgumentInterface(argument, IID_IStream, stream.ReceiveVoid());
  if (FAILED(hr) || !stream) return kStreamNotSupported;
  STATSTG status{};
  hr = stream->Stat(&status, STATFLAG_NONAME);
  FakeImapiRecorder setup{};
  if (SUCCEEDED(hr)) {
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    Recorder* recorder = nullptr;
    hr = Describe(machine, L"Write", recorder);
    if (SUCCEEDED(hr)) hr = CheckDisc(*recorder, status.cbSize.QuadPart);
    if (SUCCEEDED(hr)) {
      setup = recorder->setup;
      recorder->verificationLevel = verificationLevel_;
      recorder->clientName = clientName_;
    }
  }
  if (SUCCEEDED(hr)) hr = Burn(*stream.get(), status.cbSize.QuadPart, setup);
  return hr;
}

HRESULT FakeDataWriter::Burn(IStream& stream, uint64_t size, const FakeImapiRecorder& setup) {
  const std::wstring uniqueId = setup.uniqueId;
  const auto sectors = static_cast<LONG>(size / kSectorBytes);
  const uint64_t perInterval = setup.writeBytesPerSecond * setup.eventIntervalMs / 1000;
  const uint64_t perShare =
      (size / kMinimumEvents + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
  const uint64_t chunk =
      std::max(kSectorBytes, std::min(perInterval / kSectorBytes * kSectorBytes, perShare));
  const uint64_t speed = std::max<uint64_t>(setup.writeBytesPerSecond, 1);
  const auto cancelled = [&] {
    MarkFailed(uniqueId);
    return kRequestCancelled;
  };
  // Keeps the write at the recorder's speed: after `bytes` the clock shows bytes / speed.
  auto start = std::chrono::steady_clock::now();
  const auto pace = [&](uint64_t bytes, uint64_t bytesPerSecond) {
    std::this_thread::sleep_until(start +
                                  std::chrono::microseconds(bytes * 1'000'000 / bytesPerSecond));
  };

  if (setup.announceInitialization) {
    if (Report(0, sectors, 0)) return cancelled();
    if (Report(2, sectors, 0)) return cancelled();
  }
  std::vector<uint8_t> image;
  LARGE_INTEGER origin{};
  if (FAILED(stream.Seek(origin, STREAM_SEEK_SET, nullptr))) {
    MarkFailed(uniqueId);
    return E_FAIL;
  }
  start = std::chrono::steady_clock::now();
  while (image.size() < size) {
    const uint64_t end = std::min(size, image.size() + chunk);
    while (image.size() < end) {
      const auto want = static_cast<ULONG>(std::min<uint64_t>(end - image.size(), 1 << 20));
      const size_t at = image.size();
      image.resize(at + want);
      ULONG read = 0;
      if (FAILED(stream.Read(image.data() + at, want, &read)) || read != want) {
        MarkFailed(uniqueId);
        return kInvalidResponse;
      }
    }
    pace(image.size(), speed);
    if (Report(4, sectors, static_cast<LONG>(image.size() / kSectorBytes))) return cancelled();
  }
  if (Report(5, sectors, sectors)) return cancelled();
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::min<uint32_t>(setup.eventIntervalMs, 1000)));

  uint32_t level = 0;
  {
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    level = verificationLevel_;
  }
  if (level != 0) {
    // Full verification reads the whole disc back at the writing speed; quick reads a little.
    const uint64_t toVerify = level == 2 ? size : std::min(size, chunk);
    const uint64_t verifySpeed =
        setup.verifyBytesPerSecond != 0 ? setup.verifyBytesPerSecond : speed;
    start = std::chrono::steady_clock::now();
    for (uint64_t verified = 0; verified < toVerify;) {
      verified = std::min(toVerify, verified + chunk);
      pace(verified, verifySpeed);
      if (Report(7, sectors, sectors)) return cancelled();
    }
  }

  {
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    Recorder* recorder = machine.Find(uniqueId);
    if (recorder == nullptr || !recorder->disc) return kNoMedia;
    recorder->disc->state = forceClosed_ ? kFakeDiscClosed : kFakeDiscAppendable;
    recorder->disc->image = std::move(image);
  }
  Report(6, sectors, sectors);
  return S_OK;
}

HRESULT FakeDataWriter::Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
                            VARIANT& result) {
  const bool put = IsPut(flags);
  const size_t expected = put ? 1 : id == kWrite ? 1 : id == kSetWriteSpeed ? 2 : 0;
  if (arguments.size() != expected) return DISP_E_BADPARAMCOUNT;
  switch (id) {
    case kRecorder:
      if (put) return PutRecorder(arguments[0]);
      break;
    case kWrite:
      return Write(arguments[0]);
    case kCancelWrite:
      if (!writing_) return kWriteNotInProgress;
      cancelRequested_ = true;
      return S_OK;
    default:
      break;
  }

  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);
  Recorder* recorder = nullptr;
  HRESULT hr = S_OK;
  switch (id) {
    case kRecorder:
      // The property hands out a reference of its own.
      result.vt = VT_DISPATCH;
      result.pdispVal = recorder_.get();
      if (recorder_) recorder_->AddRef();
      return S_OK;
    case kSupportedMediaTypes:
      hr = Describe(machine, L"GetSupportedMediaTypes", recorder);
      if (SUCCEEDED(hr)) ResultNumbers(result, SupportedMediaTypes(recorder->setup));
      return hr;
    case kCurrentMediaStatus:
    case kCurrentPhysicalMediaType:
      hr = Describe(
          machine,
          id == kCurrentMediaStatus ? L"GetCurrentMediaStatus" : L"GetCurrentPhysicalMediaType",
          recorder);
      if (FAILED(hr)) return hr;
      if (!recorder->disc) return kNoMedia;
      ResultLong(result, static_cast<LONG>(id == kCurrentMediaStatus ? MediaStatus(*recorder->disc)
                                                                     : recorder->disc->mediaType));
      return S_OK;
    case kClientName: {
      if (!put) {
        ResultString(result, clientName_);
        return S_OK;
      }
      std::wstring name;
      hr = ArgumentString(arguments[0], name);
      if (FAILED(hr)) return hr;
      if (name.empty()) return kClientNameNotValid;
      if (recorder_) hr = Describe(machine, L"PutClientName", recorder);
      if (SUCCEEDED(hr)) clientName_ = name;
      return hr;
    }
    case kCurrentRotationTypeIsPureCAV:
      hr = Describe(machine, L"GetCurrentRotationTypeIsPureCAV", recorder);
      if (SUCCEEDED(hr)) ResultBool(result, recorder->setup.pureCav != 0);
      return hr;
    case kForceMediaToBeClosed:
    case kForceOverwrite: {
      bool& flag = id == kForceMediaToBeClosed ? forceClosed_ : forceOverwrite_;
      if (!put) {
        ResultBool(result, flag);
        return S_OK;
      }
      return ArgumentBool(arguments[0], flag);
    }
    case kSetWriteSpeed: {
      LONG speed = 0;
      bool pureCav = false;
      hr = ArgumentLong(arguments[0], speed);
      if (SUCCEEDED(hr)) hr = ArgumentBool(arguments[1], pureCav);
      if (SUCCEEDED(hr)) hr = Describe(machine, L"SetWriteSpeed", recorder);
      if (FAILED(hr)) return hr;
      // The drive writes at its own speed; any other request is adjusted to it.
      const bool speedKept = static_cast<uint32_t>(speed) == 0xFFFFFFFFu;
      const bool rotationKept = pureCav == (recorder->setup.pureCav != 0);
      if (speedKept && rotationKept) return S_OK;
      if (speedKept) return kRotationAdjusted;
      return rotationKept ? kSpeedAdjusted : kBothAdjusted;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

IDispatch* CreateDataWriter() { return new FakeDataWriter; }

}  // namespace kestrune::fake_imapi2
