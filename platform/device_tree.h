#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::platform {

/// Configuration-manager results (CONFIGRET) of the device tree.
namespace cm {
inline constexpr uint32_t kCR_SUCCESS = 0x00;
inline constexpr uint32_t kCR_FAILURE = 0x13;
inline constexpr uint32_t kCR_NO_SUCH_DEVNODE = 0x0D;
inline constexpr uint32_t kCR_NO_SUCH_VALUE = 0x25;
}  // namespace cm

/// A device node (Windows: DEVINST). Valid only with the tree that gave it out.
using DeviceNode = uint32_t;

/// The tree of present devices, shaped after SetupAPI and the configuration manager, so that
/// a disk found in the inventory can be traced to the device it hangs on.
class DeviceTree {
 public:
  virtual ~DeviceTree() = default;

  /// Every present device of every class (SetupDiGetClassDevsW with DIGCF_ALLCLASSES |
  /// DIGCF_PRESENT, walked with SetupDiEnumDeviceInfo until no more items). False when the
  /// device list cannot be made at all.
  [[nodiscard]] virtual bool ListPresentDevices(std::vector<DeviceNode>& devices) = 0;

  /// CM_Get_Device_IDW: the device instance id, such as
  /// USBSTOR\DISK&VEN_KESTRUNE&PROD_SIMSTICK&REV_1.00\0123456789&0.
  [[nodiscard]] virtual uint32_t GetDeviceInstanceId(DeviceNode device,
                                                     std::wstring& instanceId) = 0;

  /// CM_Get_Parent.
  [[nodiscard]] virtual uint32_t GetParent(DeviceNode device, DeviceNode& parent) = 0;

  /// CM_Get_DevNode_Registry_PropertyW(CM_DRP_BASE_CONTAINERID): the container id in braces,
  /// {00000000-0000-0000-FFFF-FFFFFFFFFFFF} for devices built into the computer.
  [[nodiscard]] virtual uint32_t GetBaseContainerId(DeviceNode device,
                                                    std::wstring& containerId) = 0;
};

}  // namespace kestrune::platform
