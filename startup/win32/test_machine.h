#pragma once

// What the win64 test build takes from a simulated machine (sim/README.md) when a wine test
// names one with KESTRUNE_MACHINE; the product (test_machine_product.cpp) takes nothing.

#include <functional>
#include <string>
#include <vector>

#include "platform/device_tree.h"

namespace kestrune::startup {

/// The device tree the wizard asks whether a USB disk is built into the computer: the
/// system's (`system`), or in a wine test the machine's. wine's configuration manager gives no
/// parent of a device node, so there no disk would ever be shown to be safe to wipe, and the
/// disks the wine tests write exist only in the machine.
platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system);

/// The scripted front end's `machine` command: in a wine test "unplug N", "plug N" and
/// "set POINTER VALUE" on the machine, as kestrune-machine does them, with 0 for success;
/// otherwise none (the command is a script error).
std::function<int(const std::vector<std::string>&)> MachineToolForScripts();

}  // namespace kestrune::startup
