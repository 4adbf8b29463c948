// fake_wmi.dll: the in-process COM server of the stand-in WMI locator and its registration
// in place of the system's. The test prefix is shared with the tests that read wine's own WMI,
// so registering keeps the class's previous server and unregistering puts it back.
#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <unknwn.h>

#include <atomic>
#include <iterator>
#include <string>

#include "testing/win32/com_server.h"
#include "testing/win32/fake_wmi/fake_wmi_objects.h"

namespace kestrune::fake_wmi {
namespace {

HMODULE g_module = nullptr;

// WbemAdministrativeLocator, the class the disk inventory creates.
constexpr CLSID kClsidWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

// Where registering keeps the server it replaced.
constexpr const wchar_t* kReplacedValue = L"KestruneReplacedServer";

using testing::com_server::SetText;

std::wstring ServerKey() {
  return testing::com_server::ClassKey(kClsidWbemAdministrativeLocator) + L"\\InprocServer32";
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
  return kestrune::testing::com_server::GetFactory(CreateLocator, iid, object);
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
