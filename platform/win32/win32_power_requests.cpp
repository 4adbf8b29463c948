#include "platform/win32/windows_support.h"

#include "platform/win32/win32_power_requests.h"

#include <algorithm>

namespace kestrune::platform::win32 {
namespace {

// The process-wide reason context every request is created from; the API takes the reason
// as a writable string.
REASON_CONTEXT g_reasonContext;
wchar_t g_reasonText[128];

HANDLE AsHandle(PowerRequests::RequestId request) { return reinterpret_cast<HANDLE>(request); }

POWER_REQUEST_TYPE AsType(PowerRequests::Type type) {
  return type == PowerRequests::Type::kSystemRequired ? PowerRequestSystemRequired
                                                      : PowerRequestDisplayRequired;
}

}  // namespace

PowerRequests::RequestId Win32PowerRequests::Create(const std::wstring& reason) {
  const size_t length = std::min(reason.size(), std::size(g_reasonText) - 1);
  std::copy_n(reason.begin(), length, g_reasonText);
  g_reasonText[length] = L'\0';
  g_reasonContext.Version = POWER_REQUEST_CONTEXT_VERSION;
  g_reasonContext.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
  g_reasonContext.Reason.SimpleReasonString = g_reasonText;
  HANDLE request = PowerCreateRequest(&g_reasonContext);
  return request == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<RequestId>(request);
}

bool Win32PowerRequests::Set(RequestId request, Type type) {
  return PowerSetRequest(AsHandle(request), AsType(type)) != FALSE;
}

bool Win32PowerRequests::Clear(RequestId request, Type type) {
  return PowerClearRequest(AsHandle(request), AsType(type)) != FALSE;
}

void Win32PowerRequests::Close(RequestId request) {
  // The core holds the request by its id; closing takes the handle back into an owner.
  windows::UniqueHandle owner(AsHandle(request));
}

}  // namespace kestrune::platform::win32
