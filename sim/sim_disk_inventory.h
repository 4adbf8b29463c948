#pragma once

#include "platform/disk_inventory.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// The disk inventory of a simulated machine: the four classes the disk enumeration asks
/// for, built from the present disks of the description at each query, with WMI's property
/// names and object-path forms. Faults: faults.inventorySecurity / inventoryConnect answer
/// those calls, faults.inventoryFailQueries makes queries of the named classes fail,
/// faults.inventoryFailAfterRows makes their enumeration fail (wmi::kE_FAILED) after that many
/// rows, which stay appended, faults.inventoryDelayMs holds their answer back that long, up to
/// faults.inventoryTimeoutMs, when the query gives up with wmi::kE_TIMED_OUT, and a disk's
/// failProperties / nullProperties spoil reads of its Win32_DiskDrive properties.
class SimDiskInventory : public platform::DiskInventory {
 public:
  explicit SimDiskInventory(Machine& machine) : machine_(machine) {}

  platform::HResult InitializeSecurity() override;
  platform::HResult Connect() override;
  platform::HResult ExecQuery(
      const std::wstring& wql,
      std::vector<std::unique_ptr<platform::InventoryObject>>& objects) override;

 private:
  Machine& machine_;
  bool connected_ = false;
  bool securitySet_ = false;
};

}  // namespace kestrune::sim
