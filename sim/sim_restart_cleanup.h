#pragma once

#include <memory>
#include <string>

#include "platform/mutex.h"
#include "platform/restart_cleanup.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// Delete-at-restart on the simulated machine: each request is appended, in order, to the
/// description's `pendingRestartDeletes`, where tests and a person (kestrune-machine show)
/// see what the program scheduled. Nothing is deleted, as the machine never restarts. False
/// when the machine cannot be written, as Windows refuses when it cannot record the request.
class SimRestartCleanup : public platform::RestartCleanup {
 public:
  /// Records on `machine`.
  explicit SimRestartCleanup(Machine& machine) : machine_(&machine) {}
  /// Records on the host programs' machine (machine_location.h), opened at the first
  /// request, so that a run that schedules nothing leaves the machine alone.
  SimRestartCleanup() = default;

  [[nodiscard]] bool DeleteAtRestart(const std::wstring& path) override;

 private:
  [[nodiscard]] Machine* TheMachine();

  platform::Mutex mutex_;
  Machine* machine_ KESTRUNE_GUARDED_BY(mutex_) = nullptr;
  std::unique_ptr<Machine> hostMachine_ KESTRUNE_GUARDED_BY(mutex_);
  bool openTried_ KESTRUNE_GUARDED_BY(mutex_) = false;
};

}  // namespace kestrune::sim
