#include "platform/win32/dispatch_object.h"

#include <utility>

namespace kestrune::platform::win32 {

Variant Variant::Long(int32_t number) {
  Variant variant;
  variant.value_.vt = VT_I4;
  variant.value_.lVal = number;
  return variant;
}

Variant Variant::Bool(bool flag) {
  Variant variant;
  variant.value_.vt = VT_BOOL;
  variant.value_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return variant;
}

Variant Variant::String(const std::wstring& text) {
  Variant variant;
  variant.value_.vt = VT_BSTR;
  variant.value_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return variant;
}

Variant Variant::Dispatch(IDispatch* object) {
  Variant variant;
  variant.value_.vt = VT_DISPATCH;
  variant.value_.pdispVal = object;
  if (object != nullptr) object->AddRef();
  return variant;
}

Variant Variant::Unknown(IUnknown* object) {
  Variant variant;
  variant.value_.vt = VT_UNKNOWN;
  variant.value_.punkVal = object;
  if (object != nullptr) object->AddRef();
  return variant;
}

HRESULT DispatchNames::Resolve(IDispatch* object, const wchar_t* name, DISPID& id) {
  {
    platform::MutexLock lock(mutex_);
    const auto known = ids_.find(name);
    if (known != ids_.end()) {
      id = known->second;
      return S_OK;
    }
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  platform::MutexLock lock(mutex_);
  ids_.emplace(name, id);
  return S_OK;
}

HRESULT DispatchObject::Invoke(const wchar_t* name, WORD flags, std::vector<Variant>& arguments,
                               bool put, Variant* result) {
  if (!object_) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = names_->Resolve(object_.get(), name, id);
  if (FAILED(hr)) return hr;

  // Invoke takes the arguments last to first.
  std::vector<VARIANT> reversed;
  reversed.reserve(arguments.size());
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(it->value());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{};
  parameters.rgvarg = reversed.empty() ? nullptr : reversed.data();
  parameters.cArgs = static_cast<UINT>(reversed.size());
  if (put) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT badArgument = 0;
  Variant local;
  if (result != nullptr) *result = Variant();
  hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                       result != nullptr ? result->get() : local.get(), &exception, &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    // A dual interface's dispatch reports a failing member this way; its code is the answer.
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    hr = FAILED(exception.scode) ? exception.scode : E_FAIL;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  return hr;
}

HRESULT DispatchObject::Get(const wchar_t* name, Variant& result, std::vector<Variant> arguments) {
  return Invoke(name, DISPATCH_PROPERTYGET, arguments, false, &result);
}

HRESULT DispatchObject::Put(const wchar_t* name, Variant value) {
  std::vector<Variant> arguments;
  arguments.push_back(std::move(value));
  return Invoke(name, DISPATCH_PROPERTYPUT, arguments, true, nullptr);
}

HRESULT DispatchObject::Call(const wchar_t* name, std::vector<Variant> arguments, Variant* result) {
  return Invoke(name, DISPATCH_METHOD, arguments, false, result);
}

HRESULT ConvertVariant(const VARIANT& value, VARTYPE type, Variant& converted) {
  return VariantChangeType(converted.get(), const_cast<VARIANT*>(&value), 0, type);
}

HRESULT DispatchObject::GetLong(const wchar_t* name, int32_t& value) {
  Variant result, converted;
  HRESULT hr = Get(name, result);
  if (SUCCEEDED(hr)) hr = ConvertVariant(result.value(), VT_I4, converted);
  if (SUCCEEDED(hr)) value = converted.value().lVal;
  return hr;
}

HRESULT DispatchObject::GetBool(const wchar_t* name, bool& value) {
  Variant result, converted;
  HRESULT hr = Get(name, result);
  if (SUCCEEDED(hr)) hr = ConvertVariant(result.value(), VT_BOOL, converted);
  if (SUCCEEDED(hr)) value = converted.value().boolVal != VARIANT_FALSE;
  return hr;
}

HRESULT DispatchObject::GetString(const wchar_t* name, std::wstring& value) {
  Variant result, converted;
  HRESULT hr = Get(name, result);
  if (SUCCEEDED(hr)) hr = ConvertVariant(result.value(), VT_BSTR, converted);
  if (SUCCEEDED(hr)) {
    const BSTR text = converted.value().bstrVal;
    value.assign(text != nullptr ? text : L"", text != nullptr ? SysStringLen(text) : 0);
  }
  return hr;
}

HRESULT ArrayElements(const VARIANT& array, std::vector<Variant>& elements) {
  if ((array.vt & VT_ARRAY) == 0) return DISP_E_TYPEMISMATCH;
  SAFEARRAY* items = (array.vt & VT_BYREF) != 0 ? *array.pparray : array.parray;
  if (items == nullptr) return S_OK;  // an empty list
  if (SafeArrayGetDim(items) != 1) return DISP_E_TYPEMISMATCH;
  VARTYPE type = VT_EMPTY;
  HRESULT hr = SafeArrayGetVartype(items, &type);
  if (FAILED(hr)) return hr;
  if (type != VT_VARIANT) return DISP_E_TYPEMISMATCH;
  LONG lower = 0, upper = -1;
  hr = SafeArrayGetLBound(items, 1, &lower);
  if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(items, 1, &upper);
  for (LONG index = lower; SUCCEEDED(hr) && index <= upper; ++index) {
    Variant element;
    hr = SafeArrayGetElement(items, &index, element.get());
    if (SUCCEEDED(hr)) elements.push_back(std::move(element));
  }
  return hr;
}

HRESULT DispatchObject::GetStrings(const wchar_t* name, std::vector<std::wstring>& values) {
  Variant result;
  std::vector<Variant> elements;
  HRESULT hr = Get(name, result);
  if (SUCCEEDED(hr)) hr = ArrayElements(result.value(), elements);
  std::vector<std::wstring> texts;
  for (const Variant& element : elements) {
    if (FAILED(hr)) break;
    Variant converted;
    hr = ConvertVariant(element.value(), VT_BSTR, converted);
    if (SUCCEEDED(hr)) {
      const BSTR text = converted.value().bstrVal;
      texts.emplace_back(text != nullptr ? text : L"", text != nullptr ? SysStringLen(text) : 0);
    }
  }
  if (SUCCEEDED(hr)) values = std::move(texts);
  return hr;
}

HRESULT DispatchObject::GetNumbers(const wchar_t* name, std::vector<uint32_t>& values) {
  Variant result;
  std::vector<Variant> elements;
  HRESULT hr = Get(name, result);
  if (SUCCEEDED(hr)) hr = ArrayElements(result.value(), elements);
  std::vector<uint32_t> numbers;
  for (const Variant& element : elements) {
    if (FAILED(hr)) break;
    Variant converted;
    hr = ConvertVariant(element.value(), VT_I4, converted);
    if (SUCCEEDED(hr)) numbers.push_back(static_cast<uint32_t>(converted.value().lVal));
  }
  if (SUCCEEDED(hr)) values = std::move(numbers);
  return hr;
}

}  // namespace kestrune::platform::win32
