#include "testing/win32/fake_imapi2/fake_objects.h"

#include "platform/win32/imapi2_ids.h"
#include "testing/win32/fake_imapi2/fake_machine.h"

namespace kestrune::fake_imapi2 {
namespace {

namespace imapi2 = platform::win32::imapi2;

constexpr HRESULT kDeviceNotConnected = static_cast<HRESULT>(0x8007048F);

bool IsPut(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

// IDiscMaster2.
enum : DISPID { kItem = DISPID_VALUE, kCount = 0x1 };
constexpr Member kMasterMembers[] = {{L"Item", kItem}, {L"Count", kCount}};

class FakeDiscMaster final : public FakeDispatch {
 public:
  FakeDiscMaster()
      : FakeDispatch(imapi2::kIidIDiscMaster2, kMasterMembers, std::size(kMasterMembers)) {}

 protected:
  HRESULT Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
              VARIANT& result) override {
    if (IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
    Machine& machine = Machine::Instance();
    platform::MutexLock lock(machine.mutex);
    if (id == kCount) {
      if (!arguments.empty()) return DISP_E_BADPARAMCOUNT;
      ResultLong(result, static_cast<LONG>(machine.recorders.size()));
      return S_OK;
    }
    if (arguments.size() != 1) return DISP_E_BADPARAMCOUNT;
    LONG index = 0;
    const HRESULT hr = ArgumentLong(arguments[0], index);
    if (FAILED(hr)) return hr;
    if (index < 0 || static_cast<size_t>(index) >= machine.recorders.size()) return E_INVALIDARG;
    ResultString(result, machine.recorders[static_cast<size_t>(index)].setup.uniqueId);
    return S_OK;
  }
};

// IDiscRecorder2.
enum : DISPID {
  kEjectMedia = 0x100,
  kInitializeDiscRecorder = 0x106,
  kActiveDiscRecorder = 0x107,
  kVendorId = 0x108,
  kProductId = 0x109,
  kVolumePathNames = 0x10C,
  kCurrentProfiles = 0x112,
};
constexpr Member kRecorderMembers[] = {
    {L"EjectMedia", kEjectMedia},
    {L"InitializeDiscRecorder", kInitializeDiscRecorder},
    {L"ActiveDiscRecorder", kActiveDiscRecorder},
    {L"VendorId", kVendorId},
    {L"ProductId", kProductId},
    {L"VolumePathNames", kVolumePathNames},
    {L"CurrentProfiles", kCurrentProfiles},
};

// IDiscFormat2DataEventArgs and the IWriteEngine2EventArgs it extends.
enum : DISPID {
  kStartLba = 0x100,
  kSectorCount = 0x101,
  kLastReadLba = 0x102,
  kLastWrittenLba = 0x103,
  kElapsedTime = 0x300,
  kRemainingTime = 0x301,
  kTotalTime = 0x302,
  kCurrentAction = 0x303,
};
constexpr Member kEventArgsMembers[] = {
    {L"StartLba", kStartLba},       {L"SectorCount", kSectorCount},
    {L"LastReadLba", kLastReadLba}, {L"LastWrittenLba", kLastWrittenLba},
    {L"ElapsedTime", kElapsedTime}, {L"RemainingTime", kRemainingTime},
    {L"TotalTime", kTotalTime},     {L"CurrentAction", kCurrentAction},
};

class FakeEventArgs final : public FakeDispatch {
 public:
  FakeEventArgs(LONG action, LONG sectorCount, LONG lastWrittenLba)
      : FakeDispatch(imapi2::kIidIDiscFormat2DataEventArgs, kEventArgsMembers,
                     std::size(kEventArgsMembers)),
        action_(action),
        sectorCount_(sectorCount),
        lastWrittenLba_(lastWrittenLba) {}

 protected:
  HRESULT Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
              VARIANT& result) override {
    if (IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
    if (!arguments.empty()) return DISP_E_BADPARAMCOUNT;
    switch (id) {
      case kSectorCount:
        ResultLong(result, sectorCount_);
        break;
      case kLastWrittenLba:
      case kLastReadLba:
        ResultLong(result, lastWrittenLba_);
        break;
      case kCurrentAction:
        ResultLong(result, action_);
        break;
      default:
        ResultLong(result, 0);
        break;
    }
    return S_OK;
  }
  HRESULT QueryOther(REFIID iid, void** object) override {
    if (IsEqualIID(iid, imapi2::kIidIWriteEngine2EventArgs)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  LONG action_, sectorCount_, lastWrittenLba_;
};

}  // namespace

FakeDiscRecorder::FakeDiscRecorder()
    : FakeDispatch(imapi2::kIidIDiscRecorder2, kRecorderMembers, std::size(kRecorderMembers)) {}

HRESULT FakeDiscRecorder::QueryOther(REFIID iid, void** object) {
  if (IsEqualIID(iid, kIidFakeRecorder)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeDiscRecorder::Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
                              VARIANT& result) {
  if (IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
  const size_t expected = id == kInitializeDiscRecorder ? 1 : 0;
  if (arguments.size() != expected) return DISP_E_BADPARAMCOUNT;
  Machine& machine = Machine::Instance();
  platform::MutexLock lock(machine.mutex);

  if (id == kInitializeDiscRecorder) {
    std::wstring wanted;
    HRESULT hr = ArgumentString(arguments[0], wanted);
    if (FAILED(hr)) return hr;
    const Recorder* recorder = machine.Find(wanted);
    if (recorder == nullptr) return E_INVALIDARG;
    hr = FailingCall(*recorder, L"InitializeDiscRecorder");
    if (SUCCEEDED(hr)) uniqueId_ = wanted;
    return hr;
  }
  // Every other member needs a bound recorder that is still there.
  if (uniqueId_.empty()) return E_FAIL;
  Recorder* recorder = machine.Find(uniqueId_);
  if (recorder == nullptr) return kDeviceNotConnected;
  const wchar_t* call = id == kEjectMedia        ? L"EjectMedia"
                        : id == kVendorId        ? L"GetVendorId"
                        : id == kProductId       ? L"GetProductId"
                        : id == kVolumePathNames ? L"GetVolumePathNames"
                        : id == kCurrentProfiles ? L"GetCurrentProfiles"
                                                 : L"ActiveDiscRecorder";
  const HRESULT hr = FailingCall(*recorder, call);
  if (FAILED(hr)) return hr;
  switch (id) {
    case kEjectMedia:
      recorder->disc.reset();
      if (recorder->setup.feedBlankMediaType != 0) {
        Disc blank;
        blank.mediaType = recorder->setup.feedBlankMediaType;
        recorder->disc = blank;
      }
      ++recorder->ejectCount;
      break;
    case kActiveDiscRecorder:
      ResultString(result, uniqueId_);
      break;
    case kVendorId:
      ResultString(result, recorder->setup.vendorId);
      break;
    case kProductId:
      ResultString(result, recorder->setup.productId);
      break;
    case kVolumePathNames:
      ResultStrings(result, VolumePaths(recorder->setup));
      break;
    case kCurrentProfiles:
      ResultNumbers(result, recorder->disc ? Profiles(*recorder->disc) : std::vector<uint32_t>{});
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return S_OK;
}

IDispatch* CreateDiscMaster() { return new FakeDiscMaster; }
IDispatch* CreateDiscRecorder() { return new FakeDiscRecorder; }
IDispatch* CreateEventArgs(LONG action, LONG sectorCount, LONG lastWrittenLba) {
  return new FakeEventArgs(action, sectorCount, lastWrittenLba);
}

}  // namespace kestrune::fake_imapi2
