#pragma once

// Every Windows service port of the wizard over the real system, for the program's start-up
// to hand to the core (the Linux build has the same set over the simulated machine,
// sim/sim_ports.h).

#include "platform/win32/windows_support.h"

#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_disc_service.h"
#include "platform/win32/win32_disk_inventory.h"
#include "platform/win32/win32_user_registry.h"
#include "platform/win32/win32_volume_info.h"

namespace kestrune::platform::win32 {

/// Not copyable or movable: the core keeps references to the members.
struct Win32Ports {
  Win32Ports() = default;
  Win32Ports(const Win32Ports&) = delete;
  Win32Ports& operator=(const Win32Ports&) = delete;

  Win32DiscService discService;
  Win32DiskInventory diskInventory;
  Win32DeviceTree deviceTree;
  Win32UserRegistry userRegistry;
  Win32VolumeInfo volumeInfo;
  Win32OsVersion osVersion;
};

}  // namespace kestrune::platform::win32
