#include "startup/win32/device_tree_choice.h"

namespace kestrune::startup {

platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system) { return system; }

}  // namespace kestrune::startup
