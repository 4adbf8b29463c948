#include "platform/win32/win32_disc_service.h"

#include <shlwapi.h>

#include "platform/win32/data_events_sink.h"

namespace kestrune::platform::win32 {
namespace {

// Every object is created as start-up creates them: any class context (CLSCTX_ALL, 0x17).
HRESULT CreateDispatch(const CLSID& type, const IID& iid, windows::ComPtr<IDispatch>& object) {
  // Each of these interfaces derives from IDispatch, so the pointer serves as one.
  return CoCreateInstance(type, nullptr, CLSCTX_ALL, iid, object.ReceiveVoid());
}

DispatchNames& MasterNames() {
  static DispatchNames names;
  return names;
}

DispatchNames& RecorderNames() {
  static DispatchNames names;
  return names;
}

DispatchNames& FormatNames() {
  static DispatchNames names;
  return names;
}

HResult Result(HRESULT hr) { return static_cast<HResult>(hr); }

}  // namespace

DispatchObject* Win32DiscService::Master(HResult& hr) {
  platform::MutexLock lock(mutex_);
  hr = kS_OK;
  if (!master_) {
    windows::ComPtr<IDispatch> master;
    hr = Result(CreateDispatch(imapi2::kClsidMsftDiscMaster2, imapi2::kIidIDiscMaster2, master));
    if (Succeeded(hr)) master_.emplace(std::move(master), MasterNames());
  }
  // Once made, the master stays for the life of the service, so the pointer stays valid.
  return master_ ? &*master_ : nullptr;
}

HResult Win32DiscService::Open() {
  HResult hr = kS_OK;
  static_cast<void>(Master(hr));
  return hr;
}

HResult Win32DiscService::GetRecorderCount(uint32_t& count) {
  HResult opened = kS_OK;
  DispatchObject* master = Master(opened);
  if (master == nullptr) return opened;
  int32_t value = 0;
  const HRESULT hr = master->GetLong(L"Count", value);
  if (SUCCEEDED(hr)) count = static_cast<uint32_t>(value);
  return Result(hr);
}

HResult Win32DiscService::GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) {
  HResult opened = kS_OK;
  DispatchObject* master = Master(opened);
  if (master == nullptr) return opened;
  Variant result, text;
  std::vector<Variant> arguments;
  arguments.push_back(Variant::Long(static_cast<int32_t>(index)));
  HRESULT hr = master->Get(L"Item", result, std::move(arguments));
  if (SUCCEEDED(hr)) hr = ConvertVariant(result.value(), VT_BSTR, text);
  if (SUCCEEDED(hr)) {
    const BSTR value = text.value().bstrVal;
    uniqueId.assign(value != nullptr ? value : L"", value != nullptr ? SysStringLen(value) : 0);
  }
  return Result(hr);
}

std::unique_ptr<DiscRecorder> Win32DiscService::CreateRecorder(HResult& hr) {
  windows::ComPtr<IDispatch> recorder;
  hr =
      Result(CreateDispatch(imapi2::kClsidMsftDiscRecorder2, imapi2::kIidIDiscRecorder2, recorder));
  if (Failed(hr)) return nullptr;
  return std::make_unique<Win32DiscRecorder>(std::move(recorder));
}

std::unique_ptr<DiscDataWriter> Win32DiscService::CreateDataWriter(HResult& hr) {
  windows::ComPtr<IDispatch> format;
  hr = Result(
      CreateDispatch(imapi2::kClsidMsftDiscFormat2Data, imapi2::kIidIDiscFormat2Data, format));
  if (Failed(hr)) return nullptr;
  return std::make_unique<Win32DataWriter>(std::move(format));
}

std::unique_ptr<DiscImageStream> Win32DiscService::OpenImageStream(const std::wstring& path,
                                                                   HResult& hr) {
  windows::ComPtr<IStream> stream;
  hr = Result(
      SHCreateStreamOnFileW(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.Receive()));
  if (Failed(hr)) return nullptr;
  return std::make_unique<Win32ImageStream>(std::move(stream));
}

Win32DiscRecorder::Win32DiscRecorder(windows::ComPtr<IDispatch> recorder)
    : recorder_(std::move(recorder), RecorderNames()) {}

HResult Win32DiscRecorder::InitializeDiscRecorder(const std::wstring& uniqueId) {
  std::vector<Variant> arguments;
  arguments.push_back(Variant::String(uniqueId));
  return Result(recorder_.Call(L"InitializeDiscRecorder", std::move(arguments)));
}

HResult Win32DiscRecorder::GetVendorId(std::wstring& vendorId) {
  return Result(recorder_.GetString(L"VendorId", vendorId));
}

HResult Win32DiscRecorder::GetProductId(std::wstring& productId) {
  return Result(recorder_.GetString(L"ProductId", productId));
}

HResult Win32DiscRecorder::GetVolumePathNames(std::vector<std::wstring>& paths) {
  return Result(recorder_.GetStrings(L"VolumePathNames", paths));
}

HResult Win32DiscRecorder::GetCurrentProfiles(std::vector<uint32_t>& profiles) {
  return Result(recorder_.GetNumbers(L"CurrentProfiles", profiles));
}

HResult Win32DiscRecorder::EjectMedia() { return Result(recorder_.Call(L"EjectMedia", {})); }

HResult Win32ImageStream::GetSize(uint64_t& sizeBytes) {
  STATSTG status{};
  const HRESULT hr = stream_->Stat(&status, STATFLAG_NONAME);
  if (SUCCEEDED(hr)) sizeBytes = status.cbSize.QuadPart;
  return Result(hr);
}

Win32DataWriter::Win32DataWriter(windows::ComPtr<IDispatch> format)
    : format_(std::move(format), FormatNames()) {}

Win32DataWriter::~Win32DataWriter() {
  // A connection left open would keep the sink, which refers to this object, alive.
  platform::MutexLock lock(connectionsMutex_);
  for (auto& [cookie, point] : connections_) point->Unadvise(cookie);
}

HResult Win32DataWriter::PutRecorder(DiscRecorder* recorder) {
  IDispatch* object = nullptr;
  if (recorder != nullptr) {
    auto* own = dynamic_cast<Win32DiscRecorder*>(recorder);
    if (own == nullptr) return kE_INVALIDARG;
    object = own->dispatch();
  }
  return Result(format_.Put(L"Recorder", Variant::Dispatch(object)));
}

HResult Win32DataWriter::GetSupportedMediaTypes(std::vector<uint32_t>& mediaTypes) {
  return Result(format_.GetNumbers(L"SupportedMediaTypes", mediaTypes));
}

HResult Win32DataWriter::GetCurrentPhysicalMediaType(uint32_t& mediaType) {
  int32_t value = 0;
  const HRESULT hr = format_.GetLong(L"CurrentPhysicalMediaType", value);
  if (SUCCEEDED(hr)) mediaType = static_cast<uint32_t>(value);
  return Result(hr);
}

HResult Win32DataWriter::GetCurrentMediaStatus(uint32_t& status) {
  int32_t value = 0;
  const HRESULT hr = format_.GetLong(L"CurrentMediaStatus", value);
  if (SUCCEEDED(hr)) status = static_cast<uint32_t>(value);
  return Result(hr);
}

HResult Win32DataWriter::PutClientName(const std::wstring& name) {
  return Result(format_.Put(L"ClientName", Variant::String(name)));
}

HResult Win32DataWriter::GetCurrentRotationTypeIsPureCAV(bool& pureCav) {
  return Result(format_.GetBool(L"CurrentRotationTypeIsPureCAV", pureCav));
}

HResult Win32DataWriter::SetWriteSpeed(uint32_t sectorsPerSecond, bool rotationTypeIsPureCav) {
  std::vector<Variant> arguments;
  arguments.push_back(Variant::Long(static_cast<int32_t>(sectorsPerSecond)));
  arguments.push_back(Variant::Bool(rotationTypeIsPureCav));
  return Result(format_.Call(L"SetWriteSpeed", std::move(arguments)));
}

HResult Win32DataWriter::PutBurnVerificationLevel(uint32_t level) {
  windows::ComPtr<imapi2::IBurnVerification> verification;
  HRESULT hr =
      format_.get()->QueryInterface(imapi2::kIidIBurnVerification, verification.ReceiveVoid());
  if (SUCCEEDED(hr)) hr = verification->put_BurnVerificationLevel(static_cast<LONG>(level));
  return Result(hr);
}

HResult Win32DataWriter::PutForceMediaToBeClosed(bool force) {
  return Result(format_.Put(L"ForceMediaToBeClosed", Variant::Bool(force)));
}

HResult Win32DataWriter::PutForceOverwrite(bool force) {
  return Result(format_.Put(L"ForceOverwrite", Variant::Bool(force)));
}

HResult Win32DataWriter::Advise(DataWriteEvents* events, uint32_t& cookie) {
  if (events == nullptr) return kE_POINTER;
  windows::ComPtr<IConnectionPointContainer> container;
  windows::ComPtr<IConnectionPoint> point;
  HRESULT hr =
      format_.get()->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid());
  if (SUCCEEDED(hr))
    hr = container->FindConnectionPoint(imapi2::kDiidDDiscFormat2DataEvents, point.Receive());
  if (FAILED(hr)) return Result(hr);
  windows::ComPtr<IDispatch> sink = CreateDataEventsSink(*events, *this);
  DWORD connection = 0;
  hr = point->Advise(sink.get(), &connection);
  if (FAILED(hr)) return Result(hr);
  cookie = connection;
  platform::MutexLock lock(connectionsMutex_);
  connections_[connection] = std::move(point);
  return kS_OK;
}

HResult Win32DataWriter::Unadvise(uint32_t cookie) {
  windows::ComPtr<IConnectionPoint> point;
  {
    platform::MutexLock lock(connectionsMutex_);
    const auto known = connections_.find(cookie);
    if (known == connections_.end()) return 0x80040200;  // CONNECT_E_NOCONNECTION
    point = std::move(known->second);
    connections_.erase(known);
  }
  return Result(point->Unadvise(cookie));
}

HResult Win32DataWriter::Write(DiscImageStream& stream) {
  auto* own = dynamic_cast<Win32ImageStream*>(&stream);
  if (own == nullptr) return kE_INVALIDARG;
  std::vector<Variant> arguments;
  arguments.push_back(Variant::Unknown(own->stream()));
  return Result(format_.Call(L"Write", std::move(arguments)));
}

HResult Win32DataWriter::CancelWrite() { return Result(format_.Call(L"CancelWrite", {})); }

}  // namespace kestrune::platform::win32
