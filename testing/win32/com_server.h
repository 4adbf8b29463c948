#pragma once

// What the stand-in COM servers of the tests (fake_imapi2.dll, fake_wmi.dll) share: a class
// factory over the function that makes a class's objects, and the registry texts of a class.

#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <unknwn.h>

#include <atomic>
#include <iterator>
#include <string>

namespace kestrune::testing::com_server {

/// Makes the objects of one class with `create`, which returns a new object with one
/// reference. Not aggregatable; locking the server is not needed (the servers never unload).
template <typename Interface>
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Interface* (*create)()) : create_(create) {}

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
    const windows::ComPtr<Interface> created(create_());
    return created->QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  std::atomic<ULONG> references_{1};
  Interface* (*create_)();
};

/// The factory of a class as DllGetClassObject gives it.
template <typename Interface>
HRESULT GetFactory(Interface* (*create)(), REFIID iid, void** object) {
  const windows::ComPtr<ClassFactory<Interface>> factory(new ClassFactory<Interface>(create));
  return factory->QueryInterface(iid, object);
}

/// "CLSID\{...}", the class's key below HKEY_CLASSES_ROOT.
inline std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[64] = {};
  StringFromGUID2(clsid, text, static_cast<int>(std::size(text)));
  return std::wstring(L"CLSID\\") + text;
}

/// Sets a REG_SZ value (`name` null: the key's default value).
inline LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace kestrune::testing::com_server
