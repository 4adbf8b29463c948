#include "sim/sim_restart_cleanup.h"

#include "sim/machine_location.h"
#include "text/utf8.h"

namespace kestrune::sim {

bool SimRestartCleanup::DeleteAtRestart(const std::wstring& path) {
  Machine* machine = TheMachine();
  if (machine == nullptr) return false;
  const std::string file = text::Utf8FromWide(path);
  return machine->Modify([&](MachineDescription& description) {
    description.pendingRestartDeletes.push_back(file);
    return true;
  });
}

Machine* SimRestartCleanup::TheMachine() {
  platform::MutexLock lock(mutex_);
  if (machine_ == nullptr && !openTried_) {
    openTried_ = true;
    std::string error;
    hostMachine_ = OpenHostMachine(error);
    machine_ = hostMachine_.get();
  }
  return machine_;
}

}  // namespace kestrune::sim
