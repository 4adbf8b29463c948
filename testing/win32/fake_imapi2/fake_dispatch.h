#pragma once

// The IDispatch side of the fake's objects, behaving as a dual interface's type-library
// dispatch does: member names resolve case-insensitively to fixed ids, property puts come with
// the named argument DISPID_PROPERTYPUT, and a member that fails is reported as
// DISP_E_EXCEPTION with its HRESULT in the exception's scode.

#include "platform/win32/windows_support.h"

#include <oaidl.h>
#include <oleauto.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::fake_imapi2 {

struct Member {
  const wchar_t* name;
  DISPID id;
};

class FakeDispatch : public IDispatch {
 public:
  /// `iid` is the dual interface the object implements; `members` lives as long as the object.
  FakeDispatch(const IID& iid, const Member* members, size_t memberCount)
      : iid_(iid), members_(members), memberCount_(memberCount) {}
  virtual ~FakeDispatch() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* badArgument) override;

 protected:
  /// Runs member `id`. `arguments` are in declared order (a put's value last); `result` is
  /// cleared and may be filled.
  virtual HRESULT Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
                      VARIANT& result) = 0;
  /// Interfaces besides IUnknown, IDispatch and the dual interface.
  virtual HRESULT QueryOther(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> references_{1};
  IID iid_;
  const Member* members_;
  size_t memberCount_;
};

// Argument and result helpers; the argument helpers coerce as VariantChangeType does.
HRESULT ArgumentLong(const VARIANT* argument, LONG& value);
HRESULT ArgumentBool(const VARIANT* argument, bool& value);
HRESULT ArgumentString(const VARIANT* argument, std::wstring& value);
/// The interface in a VT_UNKNOWN or VT_DISPATCH argument, queried for `iid` (null allowed).
HRESULT ArgumentInterface(const VARIANT* argument, REFIID iid, void** object);

void ResultLong(VARIANT& result, LONG value);
void ResultBool(VARIANT& result, bool value);
void ResultString(VARIANT& result, const std::wstring& text);
/// A SAFEARRAY of VARIANTs holding these texts or numbers, as IMAPI2's list properties are.
void ResultStrings(VARIANT& result, const std::vector<std::wstring>& texts);
void ResultNumbers(VARIANT& result, const std::vector<uint32_t>& numbers);

}  // namespace kestrune::fake_imapi2
