#pragma once

#include <cstdint>
#include <string>

namespace kestrune::platform {

/// Power requests that keep the computer (and its display) awake while work runs
/// (Windows: PowerCreateRequest, PowerSetRequest, PowerClearRequest).
class PowerRequests {
 public:
  /// Opaque id of a created request; 0 is never a valid request.
  using RequestId = uintptr_t;

  enum class Type {
    kSystemRequired,   ///< PowerRequestSystemRequired
    kDisplayRequired,  ///< PowerRequestDisplayRequired
  };

  virtual ~PowerRequests() = default;

  /// Creates a request with a simple-string reason. 0 when the system refuses.
  [[nodiscard]] virtual RequestId Create(const std::wstring& reason) = 0;
  [[nodiscard]] virtual bool Set(RequestId request, Type type) = 0;
  [[nodiscard]] virtual bool Clear(RequestId request, Type type) = 0;
  /// Closes the request's handle.
  virtual void Close(RequestId request) = 0;
};

}  // namespace kestrune::platform
