#pragma once

// The disk inventory over WMI: the administrative locator, the namespace "root\cimv2" with
// packet-level authentication and impersonation, and forward-only WQL queries.

#include "platform/win32/windows_support.h"

#include <wbemcli.h>

#include "platform/disk_inventory.h"

namespace kestrune::platform::win32 {

class Win32DiskInventory : public DiskInventory {
 public:
  /// `timeoutMs`: the bound of each query's enumeration (kQueryTimeoutMs but in tests).
  explicit Win32DiskInventory(uint32_t timeoutMs = kQueryTimeoutMs) : timeoutMs_(timeoutMs) {}

  HResult InitializeSecurity() override;
  HResult Connect() override;
  HResult ExecQuery(const std::wstring& wql,
                    std::vector<std::unique_ptr<InventoryObject>>& objects) override;

 private:
  uint32_t timeoutMs_;
  windows::ComPtr<IWbemServices> services_;
};

/// One object of a query result.
class Win32InventoryObject : public InventoryObject {
 public:
  explicit Win32InventoryObject(windows::ComPtr<IWbemClassObject> object)
      : object_(std::move(object)) {}
  HResult Get(const std::wstring& name, std::wstring& value) override;

 private:
  windows::ComPtr<IWbemClassObject> object_;
};

}  // namespace kestrune::platform::win32
