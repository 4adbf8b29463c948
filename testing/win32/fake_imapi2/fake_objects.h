#pragma once

// The fake's COM objects. Each creator hands out one reference.

#include "platform/win32/windows_support.h"

#include <oaidl.h>

#include <string>

#include "testing/win32/fake_imapi2/fake_dispatch.h"

namespace kestrune::fake_imapi2 {

/// The interface through which the data writer recognises a recorder object of this server
/// in its Recorder property (a private id; no real IMAPI2 object answers it).
inline constexpr IID kIidFakeRecorder = {
    0x6B1D2E91, 0x3C47, 0x4F15, {0x9A, 0x2E, 0x7D, 0x0C, 0x5B, 0x8E, 0x4F, 0x22}};

/// The recorder object: bound to a recorder of the machine by InitializeDiscRecorder.
class FakeDiscRecorder : public FakeDispatch {
 public:
  FakeDiscRecorder();
  /// The unique id it is bound to (empty: none). Call with the machine's lock held.
  const std::wstring& uniqueId() const { return uniqueId_; }

 protected:
  HRESULT Run(DISPID id, WORD flags, const std::vector<const VARIANT*>& arguments,
              VARIANT& result) override;
  HRESULT QueryOther(REFIID iid, void** object) override;

 private:
  std::wstring uniqueId_;
};

IDispatch* CreateDiscMaster();
IDispatch* CreateDiscRecorder();
IDispatch* CreateDataWriter();
/// The arguments of one progress event (IDiscFormat2DataEventArgs).
IDispatch* CreateEventArgs(LONG action, LONG sectorCount, LONG lastWrittenLba);

}  // namespace kestrune::fake_imapi2
