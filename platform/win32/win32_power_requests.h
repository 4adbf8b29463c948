#pragma once

#include "platform/power_requests.h"

namespace kestrune::platform::win32 {

/// PowerCreateRequest with a simple-string reason context, PowerSetRequest,
/// PowerClearRequest and CloseHandle.
class Win32PowerRequests : public PowerRequests {
 public:
  RequestId Create(const std::wstring& reason) override;
  bool Set(RequestId request, Type type) override;
  bool Clear(RequestId request, Type type) override;
  void Close(RequestId request) override;
};

}  // namespace kestrune::platform::win32
