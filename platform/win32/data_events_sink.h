#pragma once

// The receiver of the data writer's progress events: a COM object of our own that implements
// the dispinterface DDiscFormat2DataEvents, so IMAPI2 calls it through IDispatch::Invoke with
// the dispatch id of Update and two IDispatch arguments (the writer and the event arguments).

#include "platform/win32/windows_support.h"

#include <oaidl.h>

#include <atomic>

#include "platform/disc_service.h"

namespace kestrune::platform::win32 {

/// Creates a sink that passes each Update on to `events` as a call with `writer` and the
/// event arguments (read through their IDispatch). One reference is handed to the caller.
/// `events` and `writer` must outlive the connection.
windows::ComPtr<IDispatch> CreateDataEventsSink(DataWriteEvents& events, DiscDataWriter& writer);

}  // namespace kestrune::platform::win32
