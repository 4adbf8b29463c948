#pragma once

// The device tree over SetupAPI and the configuration manager.

#include "platform/win32/windows_support.h"

#include "platform/device_tree.h"

namespace kestrune::platform::win32 {

/// Device information set of SetupDiGetClassDevsW, destroyed with
/// SetupDiDestroyDeviceInfoList.
struct DeviceInfoListTraits {
  using Handle = void*;  // HDEVINFO
  static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle list) noexcept { return list != INVALID_HANDLE_VALUE; }
  static bool Close(Handle list) noexcept;
};
using UniqueDeviceInfoList = windows::ScopedOwner<DeviceInfoListTraits>;

/// The device nodes of the last listing stay valid until the next listing or the end of the
/// object: the list that gave them out is kept open, as some systems (wine) let a node go with
/// its list.
class Win32DeviceTree : public DeviceTree {
 public:
  bool ListPresentDevices(std::vector<DeviceNode>& devices) override;
  uint32_t GetDeviceInstanceId(DeviceNode device, std::wstring& instanceId) override;
  uint32_t GetParent(DeviceNode device, DeviceNode& parent) override;
  uint32_t GetBaseContainerId(DeviceNode device, std::wstring& containerId) override;

 private:
  UniqueDeviceInfoList list_;
};

}  // namespace kestrune::platform::win32
