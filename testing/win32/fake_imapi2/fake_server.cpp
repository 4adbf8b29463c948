// fake_imapi2.dll: the in-process COM server of the fake IMAPI2 classes, its registration
// and the controls of fake_imapi2_control.h.
#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <unknwn.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <string>

#include "platform/win32/imapi2_ids.h"
#include "testing/win32/com_server.h"
#include "testing/win32/fake_imapi2/fake_imapi2_control.h"
#include "testing/win32/fake_imapi2/fake_machine.h"
#include "testing/win32/fake_imapi2/fake_objects.h"

namespace kestrune::fake_imapi2 {
namespace {

namespace imapi2 = platform::win32::imapi2;

HMODULE g_module = nullptr;

struct ServedClass {
  const CLSID* clsid;
  const wchar_t* name;
  IDispatch* (*create)();
};
const ServedClass kClasses[] = {
    {&imapi2::kClsidMsftDiscMaster2, L"Kestrune fake MsftDiscMaster2", CreateDiscMaster},
    {&imapi2::kClsidMsftDiscRecorder2, L"Kestrune fake MsftDiscRecorder2", CreateDiscRecorder},
    {&imapi2::kClsidMsftDiscFormat2Data, L"Kestrune fake MsftDiscFormat2Data", CreateDataWriter},
};

using testing::com_server::ClassKey;
using testing::com_server::SetText;

}  // namespace
}  // namespace kestrune::fake_imapi2

using namespace kestrune::fake_imapi2;

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
  for (const ServedClass& served : kClasses) {
    if (!IsEqualCLSID(clsid, *served.clsid)) continue;
    return kestrune::testing::com_server::GetFactory(served.create, iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// The machine's state must outlive every object, so the server stays loaded.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

/// Registers the three classes below HKEY_CLASSES_ROOT as in-process servers of both
/// threading models, in place of whatever served them before.
extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  for (const ServedClass& served : kClasses) {
    kestrune::windows::UniqueRegistryKey key, server;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKey(*served.clsid).c_str(), 0, nullptr, 0,
                                 KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (error == ERROR_SUCCESS) error = SetText(key.get(), nullptr, served.name);
    if (error == ERROR_SUCCESS) {
      error = RegCreateKeyExW(key.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                              server.Receive(), nullptr);
    }
    if (error == ERROR_SUCCESS) error = SetText(server.get(), nullptr, path);
    if (error == ERROR_SUCCESS) error = SetText(server.get(), L"ThreadingModel", L"Both");
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  }
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  HRESULT result = S_OK;
  for (const ServedClass& served : kClasses) {
    const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*served.clsid).c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(error);
  }
  return result;
}

extern "C" void WINAPI FakeImapiDefaultRecorder(FakeImapiRecorder* recorder) {
  if (recorder != nullptr) FillDefaultRecorder(*recorder);
}

extern "C" HRESULT WINAPI FakeImapiConfigure(const FakeImapiRecorder* recorders, uint32_t count) {
  if (recorders == nullptr && count != 0) return E_POINTER;
  Configure(recorders, count);
  return S_OK;
}

extern "C" HRESULT WINAPI FakeImapiRecorderStateOf(uint32_t index, FakeImapiRecorderState* state) {
  if (state == nullptr) return E_POINTER;
  Machine& machine = Machine::Instance();
  kestrune::platform::MutexLock lock(machine.mutex);
  if (index >= machine.recorders.size()) return E_INVALIDARG;
  const Recorder& recorder = machine.recorders[index];
  *state = FakeImapiRecorderState{};
  state->ejectCount = recorder.ejectCount;
  state->hasDisc = recorder.disc.has_value();
  if (recorder.disc) {
    state->discState = recorder.disc->state;
    state->discDamaged = recorder.disc->damaged;
    state->imageBytes = recorder.disc->image.size();
  }
  state->verificationLevel = recorder.verificationLevel;
  wcsncpy(state->clientName, recorder.clientName.c_str(), std::size(state->clientName) - 1);
  return S_OK;
}

extern "C" uint64_t WINAPI FakeImapiReadDisc(uint32_t index, uint8_t* buffer, uint64_t capacity) {
  Machine& machine = Machine::Instance();
  kestrune::platform::MutexLock lock(machine.mutex);
  if (index >= machine.recorders.size() || !machine.recorders[index].disc) return 0;
  const auto& image = machine.recorders[index].disc->image;
  const uint64_t count = std::min<uint64_t>(capacity, image.size());
  if (buffer != nullptr) std::copy_n(image.begin(), count, buffer);
  return count;
}
