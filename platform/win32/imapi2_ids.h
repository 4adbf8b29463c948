#pragma once

// The identifiers of the Image Mastering API version 2 that the disc service uses. The
// mingw-w64 headers have no imapi2.h, and the program does not need one: every IMAPI2
// interface it calls is dual, so it reaches them through IDispatch by member name. Only the
// class and interface ids below, the event's dispatch id and the one plain-IUnknown interface
// (IBurnVerification) have to be written down here.

#include "platform/win32/windows_support.h"

#include <oaidl.h>

namespace kestrune::platform::win32::imapi2 {

// Classes.
inline constexpr CLSID kClsidMsftDiscMaster2 = {
    0x2735412E, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftDiscRecorder2 = {
    0x2735412D, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftDiscFormat2Data = {
    0x2735412A, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};

// Dual interfaces, reached through their IDispatch.
inline constexpr IID kIidIDiscMaster2 = {
    0x27354130, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidIDiscRecorder2 = {
    0x27354133, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
/// Note 9F64 in the second group, unlike its neighbours.
inline constexpr IID kIidIDiscFormat2Data = {
    0x27354153, 0x9F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidIDiscFormat2DataEventArgs = {
    0x2735413D, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidIWriteEngine2EventArgs = {
    0x27354136, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};

/// The dispinterface of the data writer's progress events (its connection point).
inline constexpr IID kDiidDDiscFormat2DataEvents = {
    0x2735413C, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
/// DDiscFormat2DataEvents::Update(IDispatch* object, IDispatch* progress).
inline constexpr DISPID kDispidDataEventsUpdate = 0x200;

inline constexpr IID kIidIBurnVerification = {
    0xD2FFD834, 0x958B, 0x426D, {0x84, 0x70, 0x2A, 0x13, 0x87, 0x9C, 0x6A, 0x91}};

/// IBurnVerification derives from IUnknown alone, so it has no IDispatch to go through; its
/// two methods follow IUnknown's in this order.
struct IBurnVerification : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_BurnVerificationLevel(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BurnVerificationLevel(LONG* value) = 0;
};

}  // namespace kestrune::platform::win32::imapi2
