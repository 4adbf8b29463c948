#include "sim/sim_device_tree.h"

#include "text/utf8.h"

namespace kestrune::sim {

namespace cm = platform::cm;

bool SimDeviceTree::ListPresentDevices(std::vector<platform::DeviceNode>& devices) {
  MachineDescription machine;
  if (!machine_.Read(machine) || machine.faults.deviceListFails) return false;
  nodes_.clear();
  // Handles are positions from 1, so that 0 is never a device.
  nodes_.push_back({"HTREE\\ROOT\\0", std::nullopt, kBuiltInContainerId});
  nodes_.push_back(
      {"PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0", 1, kBuiltInContainerId});
  const platform::DeviceNode controller = 2;
  for (const auto& recorder : machine.recorders) {
    nodes_.push_back(
        {"SCSI\\CDROM&VEN_" + recorder.vendorId + "&PROD_SIM\\4&2A6F3B1&0&00000" + recorder.letter,
         controller, kBuiltInContainerId});
  }
  for (const auto& disk : machine.disks) {
    if (!disk.present || !disk.inDeviceTree) continue;
    const std::string parentId =
        disk.parentInstanceId.empty()
            ? "USB\\VID_2E8A&PID_0001\\KESTRUNE" + std::to_string(disk.number)
            : disk.parentInstanceId;
    nodes_.push_back({parentId, controller, disk.parentContainerId});
    const auto parent = static_cast<platform::DeviceNode>(nodes_.size());
    nodes_.push_back({disk.pnpDeviceId, disk.parentReadable ? std::optional(parent) : std::nullopt,
                      disk.parentContainerId});
  }
  for (size_t i = 1; i <= nodes_.size(); ++i)
    devices.push_back(static_cast<platform::DeviceNode>(i));
  return true;
}

const SimDeviceTree::Node* SimDeviceTree::Find(platform::DeviceNode device) const {
  if (device == 0 || device > nodes_.size()) return nullptr;
  return &nodes_[device - 1];
}

uint32_t SimDeviceTree::GetDeviceInstanceId(platform::DeviceNode device, std::wstring& instanceId) {
  const Node* node = Find(device);
  if (!node) return cm::kCR_NO_SUCH_DEVNODE;
  instanceId = text::WideFromUtf8(node->instanceId);
  return cm::kCR_SUCCESS;
}

uint32_t SimDeviceTree::GetParent(platform::DeviceNode device, platform::DeviceNode& parent) {
  const Node* node = Find(device);
  if (!node || !node->parent) return cm::kCR_NO_SUCH_DEVNODE;
  parent = *node->parent;
  return cm::kCR_SUCCESS;
}

uint32_t SimDeviceTree::GetBaseContainerId(platform::DeviceNode device, std::wstring& containerId) {
  const Node* node = Find(device);
  if (!node) return cm::kCR_NO_SUCH_DEVNODE;
  if (!node->containerId) return cm::kCR_NO_SUCH_VALUE;
  containerId = text::WideFromUtf8(*node->containerId);
  return cm::kCR_SUCCESS;
}

}  // namespace kestrune::sim
