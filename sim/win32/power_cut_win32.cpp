// The Windows build of the simulated machine serves the wine tests, which cut no power: a
// point is armed as on Linux, and an armed point ends this process at once, not its run.
#include "platform/win32/windows_support.h"

#include "sim/power_cut.h"

#include <cstdlib>
#include <cstring>

namespace kestrune::sim {

bool PowerCutArmed(const char* point) {
  const char* armed = std::getenv("KESTRUNE_POWER_CUT");
  return armed != nullptr && std::strcmp(armed, point) == 0;
}

void PowerCutAt(const char* point) {
  if (PowerCutArmed(point)) TerminateProcess(GetCurrentProcess(), 9);
}

}  // namespace kestrune::sim
