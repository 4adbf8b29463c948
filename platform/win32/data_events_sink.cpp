#include "platform/win32/data_events_sink.h"

#include "platform/win32/dispatch_object.h"
#include "platform/win32/imapi2_ids.h"

namespace kestrune::platform::win32 {
namespace {

// IDiscFormat2DataEventArgs (with IWriteEngine2EventArgs), read by member name.
DispatchNames& EventArgsNames() {
  static DispatchNames names;
  return names;
}

class WriteProgress : public DataWriteProgress {
 public:
  explicit WriteProgress(windows::ComPtr<IDispatch> arguments)
      : arguments_(std::move(arguments), EventArgsNames()) {}

  HResult GetCurrentAction(int32_t& action) override {
    return static_cast<HResult>(arguments_.GetLong(L"CurrentAction", action));
  }
  HResult GetSectorCount(int32_t& sectorCount) override {
    return static_cast<HResult>(arguments_.GetLong(L"SectorCount", sectorCount));
  }
  HResult GetLastWrittenLba(int32_t& lba) override {
    return static_cast<HResult>(arguments_.GetLong(L"LastWrittenLba", lba));
  }

 private:
  DispatchObject arguments_;
};

// The IDispatch in an event argument, which the caller may pass by value or by reference.
windows::ComPtr<IDispatch> DispatchArgument(const VARIANT& argument) {
  windows::ComPtr<IDispatch> object;
  const VARIANT* value = argument.vt == (VT_VARIANT | VT_BYREF) ? argument.pvarVal : &argument;
  if (value == nullptr) return object;
  IUnknown* unknown = nullptr;
  switch (value->vt) {
    case VT_DISPATCH:
    case VT_UNKNOWN:
      unknown = value->punkVal;
      break;
    case VT_DISPATCH | VT_BYREF:
    case VT_UNKNOWN | VT_BYREF:
      unknown = value->ppunkVal != nullptr ? *value->ppunkVal : nullptr;
      break;
    default:
      break;
  }
  if (unknown != nullptr) unknown->QueryInterface(IID_IDispatch, object.ReceiveVoid());
  return object;
}

class DataEventsSink final : public IDispatch {
 public:
  DataEventsSink(DataWriteEvents& events, DiscDataWriter& writer)
      : events_(events), writer_(writer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, imapi2::kDiidDDiscFormat2DataEvents)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      if (i == 0 && names[i] != nullptr && lstrcmpiW(names[i], L"Update") == 0) {
        ids[i] = imapi2::kDispidDataEventsUpdate;
      } else {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
      }
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != imapi2::kDispidDataEventsUpdate) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (parameters == nullptr || parameters->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    // Update(object, progress): the arguments arrive last to first.
    windows::ComPtr<IDispatch> progress = DispatchArgument(parameters->rgvarg[0]);
    if (progress) {
      WriteProgress reader(std::move(progress));
      events_.Update(writer_, &reader);
    } else {
      events_.Update(writer_, nullptr);
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  DataWriteEvents& events_;
  DiscDataWriter& writer_;
};

}  // namespace

windows::ComPtr<IDispatch> CreateDataEventsSink(DataWriteEvents& events, DiscDataWriter& writer) {
  return windows::ComPtr<IDispatch>(new DataEventsSink(events, writer));
}

}  // namespace kestrune::platform::win32
