#pragma once

#include <optional>

#include "platform/device_tree.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// The device tree of a simulated machine. `ListPresentDevices` takes a snapshot of the
/// description: the root, a USB host controller built into the computer, each recorder, and
/// for each present disk the disk device (instance id = its pnpDeviceId) below its parent
/// device (parentInstanceId, with the disk's parentContainerId). Faults: faults.deviceListFails
/// makes the listing fail; a disk without parentContainerId has an unreadable container id,
/// one with parentReadable false an unreadable parent, one with inDeviceTree false is not
/// listed at all.
class SimDeviceTree : public platform::DeviceTree {
 public:
  explicit SimDeviceTree(Machine& machine) : machine_(machine) {}

  bool ListPresentDevices(std::vector<platform::DeviceNode>& devices) override;
  uint32_t GetDeviceInstanceId(platform::DeviceNode device, std::wstring& instanceId) override;
  uint32_t GetParent(platform::DeviceNode device, platform::DeviceNode& parent) override;
  uint32_t GetBaseContainerId(platform::DeviceNode device, std::wstring& containerId) override;

 private:
  struct Node {
    std::string instanceId;
    std::optional<platform::DeviceNode> parent;  // empty: cannot be read
    std::optional<std::string> containerId;      // empty: cannot be read
  };
  const Node* Find(platform::DeviceNode device) const;

  Machine& machine_;
  std::vector<Node> nodes_;
};

/// The container id Windows gives every device built into the computer.
inline constexpr const char* kBuiltInContainerId = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";

}  // namespace kestrune::sim
