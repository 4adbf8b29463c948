#pragma once

// Late binding to dual COM interfaces: members are named, their dispatch ids are resolved once
// with GetIDsOfNames, and every call goes through IDispatch::Invoke. The program declares no
// vtable of an interface it does not own, so nothing can drift from the real one.

#include "platform/win32/windows_support.h"

#include <oaidl.h>
#include <oleauto.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/mutex.h"

namespace kestrune::platform::win32 {

/// Owns one VARIANT and clears it (releasing strings, arrays and interfaces) once.
class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  static Variant Long(int32_t number);
  static Variant Bool(bool flag);
  /// A BSTR copy of `text`.
  static Variant String(const std::wstring& text);
  /// Takes a reference of its own to `object` (which may be null).
  static Variant Dispatch(IDispatch* object);
  static Variant Unknown(IUnknown* object);

  VARIANT* get() noexcept { return &value_; }
  const VARIANT& value() const noexcept { return value_; }

 private:
  VARIANT value_;
};

/// The dispatch ids of one dual interface, looked up by member name on first use and kept
/// for the life of the process: the ids belong to the interface's definition, so every object
/// that implements it answers the same. Safe to share between threads.
class DispatchNames {
 public:
  /// The id of `name` through `object`; GetIDsOfNames's own failure when it has no such member.
  [[nodiscard]] HRESULT Resolve(IDispatch* object, const wchar_t* name, DISPID& id);

 private:
  platform::Mutex mutex_;
  std::map<std::wstring, DISPID> ids_ KESTRUNE_GUARDED_BY(mutex_);
};

/// One object reached through IDispatch. HRESULTs come back as the object's member returned
/// them: an exception raised through Invoke (DISP_E_EXCEPTION) is unwrapped to its code.
class DispatchObject {
 public:
  DispatchObject(windows::ComPtr<IDispatch> object, DispatchNames& names)
      : object_(std::move(object)), names_(&names) {}

  IDispatch* get() const noexcept { return object_.get(); }

  /// A property, or an indexed property with `arguments` (in their declared order).
  [[nodiscard]] HRESULT Get(const wchar_t* name, Variant& result,
                            std::vector<Variant> arguments = {});
  [[nodiscard]] HRESULT Put(const wchar_t* name, Variant value);
  /// A method; `result` may be null.
  [[nodiscard]] HRESULT Call(const wchar_t* name, std::vector<Variant> arguments,
                             Variant* result = nullptr);

  // Properties of common types. A value of another type is converted as OLE Automation does;
  // a conversion failure is the result.
  [[nodiscard]] HRESULT GetLong(const wchar_t* name, int32_t& value);
  [[nodiscard]] HRESULT GetBool(const wchar_t* name, bool& value);
  [[nodiscard]] HRESULT GetString(const wchar_t* name, std::wstring& value);
  /// A SAFEARRAY of VARIANTs, each converted to text or to a number.
  [[nodiscard]] HRESULT GetStrings(const wchar_t* name, std::vector<std::wstring>& values);
  [[nodiscard]] HRESULT GetNumbers(const wchar_t* name, std::vector<uint32_t>& values);

 private:
  HRESULT Invoke(const wchar_t* name, WORD flags, std::vector<Variant>& arguments, bool put,
                 Variant* result);

  windows::ComPtr<IDispatch> object_;
  DispatchNames* names_;
};

/// Converts `value` to `type` (VT_I4, VT_BSTR, VT_BOOL...) into `converted`.
[[nodiscard]] HRESULT ConvertVariant(const VARIANT& value, VARTYPE type, Variant& converted);

/// The elements of a VARIANT holding a one-dimensional SAFEARRAY of VARIANTs.
[[nodiscard]] HRESULT ArrayElements(const VARIANT& array, std::vector<Variant>& elements);

}  // namespace kestrune::platform::win32
