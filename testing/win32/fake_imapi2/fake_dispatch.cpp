#include "testing/win32/fake_imapi2/fake_dispatch.h"

namespace kestrune::fake_imapi2 {

HRESULT STDMETHODCALLTYPE FakeDispatch::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, iid_)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return QueryOther(iid, object);
}

ULONG STDMETHODCALLTYPE FakeDispatch::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  ids[0] = DISPID_UNKNOWN;
  for (size_t i = 0; i < memberCount_; ++i) {
    if (names[0] != nullptr && lstrcmpiW(names[0], members_[i].name) == 0) ids[0] = members_[i].id;
  }
  // Names after the first would name parameters, which no member here takes by name.
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags,
                                               DISPPARAMS* parameters, VARIANT* result,
                                               EXCEPINFO* exception, UINT* badArgument) {
  bool known = false;
  for (size_t i = 0; i < memberCount_; ++i) known = known || members_[i].id == id;
  if (!known) return DISP_E_MEMBERNOTFOUND;
  if (parameters == nullptr) return E_POINTER;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put && (parameters->cNamedArgs != 1 || parameters->rgdispidNamedArgs == nullptr ||
              parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
    return DISP_E_PARAMNOTOPTIONAL;
  }
  if (!put && parameters->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

  std::vector<const VARIANT*> arguments;
  for (UINT i = parameters->cArgs; i > 0; --i) {
    const VARIANT* argument = &parameters->rgvarg[i - 1];
    if (argument->vt == (VT_VARIANT | VT_BYREF)) argument = argument->pvarVal;
    arguments.push_back(argument);
  }
  VARIANT local;
  VariantInit(&local);
  VARIANT& answer = result != nullptr ? *result : local;
  VariantInit(&answer);
  const HRESULT hr = Run(id, flags, arguments, answer);
  VariantClear(&local);
  if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_BADPARAMCOUNT) {
    if (badArgument != nullptr) *badArgument = 0;
    return hr;
  }
  if (FAILED(hr) && exception != nullptr) {
    *exception = EXCEPINFO{};
    exception->scode = hr;
    exception->bstrSource = SysAllocString(L"Fake IMAPI2");
    return DISP_E_EXCEPTION;
  }
  return hr;
}

HRESULT ArgumentLong(const VARIANT* argument, LONG& value) {
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(argument), 0, VT_I4);
  if (SUCCEEDED(hr)) value = converted.lVal;
  return SUCCEEDED(hr) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ArgumentBool(const VARIANT* argument, bool& value) {
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(argument), 0, VT_BOOL);
  if (SUCCEEDED(hr)) value = converted.boolVal != VARIANT_FALSE;
  return SUCCEEDED(hr) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ArgumentString(const VARIANT* argument, std::wstring& value) {
  if (argument->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
  const BSTR text = argument->bstrVal;
  value.assign(text != nullptr ? text : L"", text != nullptr ? SysStringLen(text) : 0);
  return S_OK;
}

HRESULT ArgumentInterface(const VARIANT* argument, REFIID iid, void** object) {
  *object = nullptr;
  if (argument->vt != VT_UNKNOWN && argument->vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  if (argument->punkVal == nullptr) return S_OK;
  return argument->punkVal->QueryInterface(iid, object);
}

void ResultLong(VARIANT& result, LONG value) {
  result.vt = VT_I4;
  result.lVal = value;
}

void ResultBool(VARIANT& result, bool value) {
  result.vt = VT_BOOL;
  result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void ResultString(VARIANT& result, const std::wstring& text) {
  result.vt = VT_BSTR;
  result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

namespace {

template <typename Fill>
void ResultArray(VARIANT& result, size_t count, Fill fill) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
  for (LONG i = 0; array != nullptr && i < static_cast<LONG>(count); ++i) {
    VARIANT element;
    VariantInit(&element);
    fill(static_cast<size_t>(i), element);
    SafeArrayPutElement(array, &i, &element);
    VariantClear(&element);
  }
  result.vt = VT_ARRAY | VT_VARIANT;
  result.parray = array;
}

}  // namespace

void ResultStrings(VARIANT& result, const std::vector<std::wstring>& texts) {
  ResultArray(result, texts.size(),
              [&](size_t i, VARIANT& element) { ResultString(element, texts[i]); });
}

void ResultNumbers(VARIANT& result, const std::vector<uint32_t>& numbers) {
  ResultArray(result, numbers.size(), [&](size_t i, VARIANT& element) {
    ResultLong(element, static_cast<LONG>(numbers[i]));
  });
}

}  // namespace kestrune::fake_imapi2
