#include "platform/win32/win32_device_tree.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cwchar>
#include <iterator>

namespace kestrune::platform::win32 {

bool DeviceInfoListTraits::Close(Handle list) noexcept {
  return SetupDiDestroyDeviceInfoList(list) != FALSE;
}

bool Win32DeviceTree::ListPresentDevices(std::vector<DeviceNode>& devices) {
  list_.Reset(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  if (!list_) return false;
  const UniqueDeviceInfoList& list = list_;
  // The bound only guards against a list that never reports its end.
  for (DWORD index = 0; index < 1'000'000; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiEnumDeviceInfo(list.get(), index, &device)) {
      // Only "no more items" ends the list; a device that cannot be read is passed over.
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      continue;
    }
    devices.push_back(static_cast<DeviceNode>(device.DevInst));
  }
  return true;
}

uint32_t Win32DeviceTree::GetDeviceInstanceId(DeviceNode device, std::wstring& instanceId) {
  wchar_t buffer[200] = {};
  const CONFIGRET result = CM_Get_Device_IDW(device, buffer, 200, 0);
  if (result == CR_SUCCESS) instanceId.assign(buffer, wcsnlen(buffer, 200));
  return result;
}

uint32_t Win32DeviceTree::GetParent(DeviceNode device, DeviceNode& parent) {
  DEVINST found = 0;
  const CONFIGRET result = CM_Get_Parent(&found, device, 0);
  if (result == CR_SUCCESS) parent = static_cast<DeviceNode>(found);
  return result;
}

uint32_t Win32DeviceTree::GetBaseContainerId(DeviceNode device, std::wstring& containerId) {
  // The container id in braces: 38 characters and the terminator fit the 80 bytes.
  wchar_t buffer[40] = {};
  ULONG type = 0;
  ULONG size = sizeof(buffer);
  const CONFIGRET result =
      CM_Get_DevNode_Registry_PropertyW(device, CM_DRP_BASE_CONTAINERID, &type, buffer, &size, 0);
  if (result == CR_SUCCESS) containerId.assign(buffer, wcsnlen(buffer, std::size(buffer)));
  return result;
}

}  // namespace kestrune::platform::win32
