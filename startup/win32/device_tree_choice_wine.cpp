// The win64 test build's choice (see device_tree_choice.h): the simulated machine's device
// tree when KESTRUNE_MACHINE names a machine, the system's otherwise.
#include "platform/win32/windows_support.h"

#include <cstdlib>
#include <filesystem>

#include "sim/machine.h"
#include "sim/sim_device_tree.h"
#include "startup/win32/device_tree_choice.h"

namespace kestrune::startup {

platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system) {
  const wchar_t* folder = _wgetenv(L"KESTRUNE_MACHINE");
  if (folder == nullptr || *folder == L'\0') return system;
  // Lives as long as the process: the wizard keeps the reference until it ends.
  static sim::Machine machine{std::filesystem::path(folder)};
  static sim::SimDeviceTree tree(machine);
  return tree;
}

}  // namespace kestrune::startup
