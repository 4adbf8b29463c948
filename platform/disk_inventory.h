#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"

namespace kestrune::platform {

/// Codes of the inventory (WMI's own values).
namespace wmi {
/// CoInitializeSecurity when the process had already set its security: not an obstacle.
inline constexpr HResult kRPC_E_TOO_LATE = 0x80010119;
inline constexpr HResult kE_FAILED = 0x80041001;
inline constexpr HResult kE_NOT_FOUND = 0x80041002;
inline constexpr HResult kE_INVALID_CLASS = 0x80041010;
inline constexpr HResult kE_INVALID_QUERY = 0x80041017;
/// WBEM_S_TIMEDOUT: what IEnumWbemClassObject::Next answers when its wait ran out before an
/// object came. A success code to WMI, but never a result of ExecQuery (see kE_TIMED_OUT).
inline constexpr HResult kS_TIMEDOUT = 0x00040004;
/// WBEM_E_TIMED_OUT: the enumeration of a query did not end within kQueryTimeoutMs.
inline constexpr HResult kE_TIMED_OUT = 0x80041069;
}  // namespace wmi

/// The longest a query's enumeration may take, in milliseconds, counted from the query call.
inline constexpr uint32_t kQueryTimeoutMs = 30'000;

/// One object of a query result (IWbemClassObject).
class InventoryObject {
 public:
  virtual ~InventoryObject() = default;

  /// Reads property `name` as text (IWbemClassObject::Get; the string of the variant).
  /// Numbers read as decimal text ("32017047552"). Association properties (Antecedent,
  /// Dependent) read as object paths in WMI's own form, for instance
  /// \\HOST\root\cimv2:Win32_DiskPartition.DeviceID="Disk #1, Partition #0", with the
  /// backslashes of a key value doubled (DeviceID="\\\\.\\PHYSICALDRIVE1"). A property whose
  /// value is null reads as S_OK with empty text; a property the class does not have fails
  /// with wmi::kE_NOT_FOUND; any read can fail with another code.
  [[nodiscard]] virtual HResult Get(const std::wstring& name, std::wstring& value) = 0;
};

/// The hardware inventory, shaped after WMI in the namespace "root\cimv2". The caller decides
/// what the rows mean; this port only answers queries.
class DiskInventory {
 public:
  virtual ~DiskInventory() = default;

  /// CoInitializeSecurity for the process as the disk enumeration needs it (packet-level
  /// authentication, impersonation). wmi::kRPC_E_TOO_LATE when the process had set it already.
  [[nodiscard]] virtual HResult InitializeSecurity() = 0;

  /// Locator, ConnectServer("root\cimv2") and the proxy blanket, as one step: the first
  /// failing code. Queries need a successful connection (otherwise they fail with kE_FAIL).
  /// Bounded by the inventory itself: WMI returns from the connection within two minutes
  /// (WBEM_FLAG_CONNECT_USE_MAX_WAIT); on a working system it answers at once.
  [[nodiscard]] virtual HResult Connect() = 0;

  /// Runs a WQL query of the form "SELECT * FROM <class>", forward-only, and collects the
  /// objects its enumeration returns. Classes: Win32_DiskDrive, Win32_DiskDriveToDiskPartition,
  /// Win32_LogicalDiskToPartition, Win32_DiskPartition.
  ///
  /// Success only when the enumeration reached its normal end (WBEM_S_FALSE with no object):
  /// then `objects` holds the complete answer. An enumeration that ends any other way fails:
  /// with the failure code it reported, with wmi::kE_TIMED_OUT when it had not ended within
  /// kQueryTimeoutMs, or with wmi::kE_FAILED for any other answer (success without an
  /// object, an unexpected success code). The
  /// objects read before such an end stay appended, but they are not the answer: a caller
  /// never takes them for a complete list. A failing query call appends nothing.
  ///
  /// Bounded: the call returns within kQueryTimeoutMs of its start (plus the time of handing
  /// over the objects that did come), however long the inventory takes to answer, so a caller
  /// on a window's thread blocks no longer than that per query.
  [[nodiscard]] virtual HResult ExecQuery(
      const std::wstring& wql, std::vector<std::unique_ptr<InventoryObject>>& objects) = 0;
};

}  // namespace kestrune::platform
