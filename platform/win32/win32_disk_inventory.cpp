#include "platform/win32/win32_disk_inventory.h"

#include <objbase.h>

#include "platform/win32/dispatch_object.h"

namespace kestrune::platform::win32 {
namespace {

// WbemAdministrativeLocator, which the mingw-w64 headers do not declare.
constexpr CLSID kClsidWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

HResult Result(HRESULT hr) { return static_cast<HResult>(hr); }

// A BSTR that is freed on scope exit, for the string parameters of the WMI calls.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return text_; }

 private:
  BSTR text_;
};

}  // namespace

HResult Win32DiskInventory::InitializeSecurity() {
  return Result(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                     RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
}

HResult Win32DiskInventory::Connect() {
  services_.Reset();
  windows::ComPtr<IWbemLocator> locator;
  HRESULT hr = CoCreateInstance(kClsidWbemAdministrativeLocator, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IWbemLocator,
                                locator.ReceiveVoid());
  windows::ComPtr<IWbemServices> services;
  if (SUCCEEDED(hr)) {
    const Bstr root(L"root\\cimv2");
    // WMI's own bound on the connection: it returns within two minutes.
    hr = locator->ConnectServer(root.get(), nullptr, nullptr, nullptr,
                                WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                services.Receive());
  }
  if (SUCCEEDED(hr)) {
    hr = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, nullptr,
                           RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  }
  if (SUCCEEDED(hr)) services_ = std::move(services);
  return Result(hr);
}

HResult Win32DiskInventory::ExecQuery(const std::wstring& wql,
                                      std::vector<std::unique_ptr<InventoryObject>>& objects) {
  if (!services_) return kE_FAIL;
  const Bstr language(L"WQL");
  const Bstr query(wql);
  windows::ComPtr<IEnumWbemClassObject> results;
  const HRESULT hr = services_->ExecQuery(language.get(), query.get(),
                                          WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                          nullptr, results.Receive());
  if (FAILED(hr)) return Result(hr);
  // One object per call, each waiting only for what is left of the query's time.
  const ULONGLONG deadline = GetTickCount64() + timeoutMs_;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return wmi::kE_TIMED_OUT;
    windows::ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT next =
        results->Next(static_cast<LONG>(deadline - now), 1, object.Receive(), &returned);
    if (next == WBEM_S_FALSE && returned == 0) return kS_OK;  // the normal end
    if (next == WBEM_S_TIMEDOUT && returned == 0) continue;   // the deadline decides
    if (FAILED(next)) return Result(next);
    if (next != WBEM_S_NO_ERROR || returned != 1 || !object) return wmi::kE_FAILED;
    objects.push_back(std::make_unique<Win32InventoryObject>(std::move(object)));
  }
}

HResult Win32InventoryObject::Get(const std::wstring& name, std::wstring& value) {
  Variant property;
  HRESULT hr = object_->Get(name.c_str(), 0, property.get(), nullptr, nullptr);
  if (FAILED(hr)) return Result(hr);
  const VARIANT& raw = property.value();
  if (raw.vt == VT_NULL || raw.vt == VT_EMPTY) {
    value.clear();
    return kS_OK;
  }
  // Strings come as they are; WMI hands 64-bit numbers (Size) as strings already, and the
  // other numbers read as decimal text.
  Variant text;
  hr = ConvertVariant(raw, VT_BSTR, text);
  if (FAILED(hr)) return Result(hr);
  const BSTR result = text.value().bstrVal;
  value.assign(result != nullptr ? result : L"", result != nullptr ? SysStringLen(result) : 0);
  return kS_OK;
}

}  // namespace kestrune::platform::win32
