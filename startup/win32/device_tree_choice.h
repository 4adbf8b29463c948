#pragma once

#include "platform/device_tree.h"

namespace kestrune::startup {

/// The device tree the wizard asks whether a USB disk is built into the computer. The product
/// always takes the system's (`system`). The win64 test build takes the simulated machine's
/// tree when KESTRUNE_MACHINE names a machine: wine's configuration manager gives no parent of
/// a device node, so no disk would ever be shown to be safe to wipe, and the disks the wine
/// tests write exist only in that machine.
platform::DeviceTree& ChooseDeviceTree(platform::DeviceTree& system);

}  // namespace kestrune::startup
