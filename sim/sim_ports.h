#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "sim/machine.h"
#include "sim/sim_device_tree.h"
#include "sim/sim_disc_service.h"
#include "sim/sim_disk_inventory.h"
#include "sim/sim_restart_cleanup.h"
#include "sim/sim_user_registry.h"
#include "sim/sim_volume_info.h"

namespace kestrune::sim {

/// Every port of the simulated machine over one machine folder, for a host program or a
/// test to hand to the core:
///
///   std::string error;
///   auto ports = kestrune::sim::OpenHostPorts(error);   // $KESTRUNE_MACHINE or the default
///   if (!ports) { report error; }
///   platform::DiscService& discs = ports->discService;  ...
///
/// Not copyable or movable: the ports refer to the machine member.
struct SimPorts {
  explicit SimPorts(std::filesystem::path folder)
      : machine(std::move(folder)),
        discService(machine),
        diskInventory(machine),
        deviceTree(machine),
        userRegistry(machine),
        volumeInfo(machine),
        osVersion(machine),
        restartCleanup(machine) {}
  SimPorts(const SimPorts&) = delete;
  SimPorts& operator=(const SimPorts&) = delete;

  Machine machine;
  SimDiscService discService;
  SimDiskInventory diskInventory;
  SimDeviceTree deviceTree;
  SimUserRegistry userRegistry;
  SimVolumeInfo volumeInfo;
  SimOsVersion osVersion;
  SimRestartCleanup restartCleanup;
};

/// The ports of the host programs' machine (machine_location.h), created on first use.
std::unique_ptr<SimPorts> OpenHostPorts(std::string& error);

}  // namespace kestrune::sim
