// fake_wmi.dll: the in-process COM server of the stand-in WMI locator and its registration
// in place of the system's. The test prefix is shared with the tests that read wine's own WMI,
// so registering keeps the class's previous server and unregistering puts it back.
#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <unknwn.h>

#include <atomic>
#include <iterator>
#include <string>

#include "testing/win32/fake_wmi/fake_wmi_objects.h"

namespace kestrune::fake_wmi {
namespace {

HMODULE g_module = nullptr;

// WbemAdministrativeLocator, the class the disk inventory creates.
constexpr CLSID kClsidWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

// Where registering keeps the server it replaced.
constexpr const wchar_t* kReplacedValue = L"KestruneReplacedServer";

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
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
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const windows::ComPtr<IWbemLocator> created(CreateLocator());
    return created->QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  std::atomic<ULONG> references_{1};
};

std::wstring ServerKey() {
  wchar_t text[64] = {};
  StringFromGUID2(kClsidWbemAdministrativeLocator, text, static_cast<int>(std::size(text)));
  return std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
}

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A REG_SZ value, or false when there is none.
bool GetText(HKEY key, const wchar_t* name, std::wstring& value) {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  value.assign(buffer);
  return true;
}

}  // namespace
}  // namespace kestrune::fake_wmi

using namespace kestrune::fake_wmi;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsidWbemAdministrativeLocator)) return CLASS_E_CLASSNOTAVAILABLE;
  const kestrune::windows::ComPtr<ClassFactory> factory(new ClassFactory());
  return factory->QueryInterface(iid, object);
}

// Answers still being made on their threads use the module's code.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  kestrune::windows::UniqueRegistryKey key;
  LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  std::wstring previous, kept;
  if (GetText(key.get(), nullptr, previous) && previous != path &&
      !GetText(key.get(), kReplacedValue, kept)) {
    error = SetText(key.get(), kReplacedValue, previous);
  }
  if (error == ERROR_SUCCESS) error = SetText(key.get(), nullptr, path);
  if (error == ERROR_SUCCESS) error = SetText(key.get(), L"ThreadingModel", L"Both");
  return HRESULT_FROM_WIN32(error);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  kestrune::windows::UniqueRegistryKey key;
  LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, KEY_READ | KEY_WRITE,
                             key.Receive());
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  std::wstring previous;
  if (!GetText(key.get(), kReplacedValue, previous)) return S_OK;  // not ours
  error = SetText(key.get(), nullptr, previous);
  if (error == ERROR_SUCCESS) error = RegDeleteValueW(key.get(), kReplacedValue);
  return HRESULT_FROM_WIN32(error);
}
