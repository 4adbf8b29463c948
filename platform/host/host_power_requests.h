#pragma once

#include <string>
#include <vector>

#include "platform/mutex.h"
#include "platform/power_requests.h"

namespace kestrune::platform::host {

/// Linux keeps no power requests for this program; the host build records them instead, so
/// that tests and the demo can see that a request is held while work runs and always ends.
class RecordingPowerRequests : public PowerRequests {
 public:
  struct Call {
    enum class Kind { kCreate, kSet, kClear, kClose } kind;
    RequestId request;
    Type type;
  };

  RequestId Create(const std::wstring& reason) override;
  bool Set(RequestId request, Type type) override;
  bool Clear(RequestId request, Type type) override;
  void Close(RequestId request) override;

  /// Requests created and not yet closed.
  int OpenRequests() const;
  /// Requests with at least one type set and not cleared.
  int ActiveRequests() const;
  std::vector<Call> Calls() const;
  std::wstring LastReason() const;

  /// Makes the next `count` calls of Create (or of Clear) fail, to test the failure paths.
  void FailCreates(int count);
  void FailClears(int count);

 private:
  mutable Mutex mutex_;
  RequestId next_ KESTRUNE_GUARDED_BY(mutex_) = 1;
  std::vector<Call> calls_ KESTRUNE_GUARDED_BY(mutex_);
  std::vector<std::pair<RequestId, Type>> set_ KESTRUNE_GUARDED_BY(mutex_);
  std::vector<RequestId> open_ KESTRUNE_GUARDED_BY(mutex_);
  std::wstring lastReason_ KESTRUNE_GUARDED_BY(mutex_);
  int failCreates_ KESTRUNE_GUARDED_BY(mutex_) = 0;
  int failClears_ KESTRUNE_GUARDED_BY(mutex_) = 0;
};

}  // namespace kestrune::platform::host
