#include "platform/host/host_power_requests.h"

#include <algorithm>

namespace kestrune::platform::host {

PowerRequests::RequestId RecordingPowerRequests::Create(const std::wstring& reason) {
  MutexLock lock(mutex_);
  lastReason_ = reason;
  if (failCreates_ > 0) {
    --failCreates_;
    return 0;
  }
  const RequestId request = next_++;
  open_.push_back(request);
  calls_.push_back({Call::Kind::kCreate, request, Type::kSystemRequired});
  return request;
}

bool RecordingPowerRequests::Set(RequestId request, Type type) {
  MutexLock lock(mutex_);
  if (std::find(open_.begin(), open_.end(), request) == open_.end()) return false;
  calls_.push_back({Call::Kind::kSet, request, type});
  set_.emplace_back(request, type);
  return true;
}

bool RecordingPowerRequests::Clear(RequestId request, Type type) {
  MutexLock lock(mutex_);
  calls_.push_back({Call::Kind::kClear, request, type});
  if (failClears_ > 0) {
    --failClears_;
    return false;
  }
  const auto it = std::find(set_.begin(), set_.end(), std::make_pair(request, type));
  if (it == set_.end()) return false;
  set_.erase(it);
  return true;
}

void RecordingPowerRequests::Close(RequestId request) {
  MutexLock lock(mutex_);
  calls_.push_back({Call::Kind::kClose, request, Type::kSystemRequired});
  std::erase(open_, request);
  std::erase_if(set_, [request](const auto& entry) { return entry.first == request; });
}

int RecordingPowerRequests::OpenRequests() const {
  MutexLock lock(mutex_);
  return static_cast<int>(open_.size());
}

int RecordingPowerRequests::ActiveRequests() const {
  MutexLock lock(mutex_);
  std::vector<RequestId> active;
  for (const auto& entry : set_) {
    if (std::find(active.begin(), active.end(), entry.first) == active.end()) {
      active.push_back(entry.first);
    }
  }
  return static_cast<int>(active.size());
}

std::vector<RecordingPowerRequests::Call> RecordingPowerRequests::Calls() const {
  MutexLock lock(mutex_);
  return calls_;
}

std::wstring RecordingPowerRequests::LastReason() const {
  MutexLock lock(mutex_);
  return lastReason_;
}

void RecordingPowerRequests::FailCreates(int count) {
  MutexLock lock(mutex_);
  failCreates_ = count;
}

void RecordingPowerRequests::FailClears(int count) {
  MutexLock lock(mutex_);
  failClears_ = count;
}

}  // namespace kestrune::platform::host
