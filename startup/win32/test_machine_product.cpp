#include "startup/win32/test_machine.h"

namespace kestrune::startup {

platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system) { return system; }

std::function<int(const std::vector<std::string>&)> MachineToolForScripts() { return {}; }

}  // namespace kestrune::startup
