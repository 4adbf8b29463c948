// The stand-in WMI service as the program meets it: through its own WMI inventory
// (Win32DiskInventory: the locator, ConnectServer, the proxy blanket, ExecQuery, Next and the
// variants of Get) and the Drive page's enumeration, on simulated machines. The class is
// registered for this process only (CoRegisterClassObject), so the prefix is not touched.
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <wbemcli.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/usb_disks.h"
#include "platform/win32/win32_disk_inventory.h"
#include "sim/default_machine.h"
#include "sim/machine.h"
#include "sim/sim_device_tree.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using platform::HResult;
using platform::InventoryObject;

constexpr CLSID kClsidWbemAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

fs::path TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path();
}

class FakeWmiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    folder_ = TestFolder() / ("fake-wmi-machine-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder_);
    machine_ = std::make_unique<sim::Machine>(folder_);
    ASSERT_TRUE(machine_->Create(sim::DefaultMachineDescription()));
    ASSERT_EQ(_wputenv_s(L"KESTRUNE_MACHINE", folder_.wstring().c_str()), 0);

    server_ = LoadLibraryW((TestFolder() / L"fake_wmi.dll").c_str());
    ASSERT_NE(server_, nullptr) << "fake_wmi.dll beside the test";
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(server_, "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    windows::ComPtr<IUnknown> factory;
    ASSERT_EQ(get(kClsidWbemAdministrativeLocator, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    ASSERT_EQ(CoRegisterClassObject(kClsidWbemAdministrativeLocator, factory.get(),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  void TearDown() override {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    std::error_code error;
    fs::remove_all(folder_, error);
    CoUninitialize();
  }

  void Change(const std::function<void(sim::MachineDescription&)>& change) {
    ASSERT_TRUE(machine_->Modify([&](sim::MachineDescription& d) {
      change(d);
      return true;
    }));
  }

  // The rows of one query through a connected inventory, and its result.
  HResult Query(const std::wstring& className, std::vector<std::unique_ptr<InventoryObject>>& rows,
                uint32_t timeoutMs = platform::kQueryTimeoutMs) {
    platform::win32::Win32DiskInventory inventory(timeoutMs);
    const HResult connected = inventory.Connect();
    if (connected != platform::kS_OK) return connected;
    return inventory.ExecQuery(L"SELECT * FROM " + className, rows);
  }

  static std::wstring Read(InventoryObject& row, const wchar_t* name) {
    std::wstring value;
    EXPECT_EQ(row.Get(name, value), platform::kS_OK) << "reading " << name;
    return value;
  }

  fs::path folder_;
  std::unique_ptr<sim::Machine> machine_;
  HMODULE server_ = nullptr;
  DWORD cookie_ = 0;
};

TEST_F(FakeWmiTest, TheDrivePageListsTheMachinesStickWithItsLetter) {
  platform::win32::Win32DiskInventory inventory;
  sim::SimDeviceTree devices(*machine_);
  std::vector<CVantorEnumUSBDetail> disks;
  EnumUSBDisks(inventory, devices, disks);
  ASSERT_EQ(disks.size(), 1u) << "the stick; the computer's own disk is not USB";
  EXPECT_EQ(disks[0].caption, L"Kestrune SimStick USB Device");
  EXPECT_EQ(disks[0].mediaTypeText, L"Removable Media");
  EXPECT_EQ(disks[0].size, L"32015679488");
  EXPECT_EQ(disks[0].deviceId, L"\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(disks[0].partitions, std::vector<std::wstring>{L"F:"});

  // What diskpart does to the machine is what the next look sees.
  Change([](sim::MachineDescription& d) { d.disks[1].partitions[0].letter = "G"; });
  disks.clear();
  EnumUSBDisks(inventory, devices, disks);
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].partitions, std::vector<std::wstring>{L"G:"});
}

TEST_F(FakeWmiTest, RowsReadAsWmiWritesThem) {
  std::vector<std::unique_ptr<InventoryObject>> rows;
  ASSERT_EQ(Query(L"Win32_LogicalDiskToPartition", rows), platform::kS_OK);
  bool found = false;
  for (const auto& row : rows) {
    if (Read(*row, L"Dependent").find(L"DeviceID=\"F:\"") == std::wstring::npos) continue;
    found = true;
    EXPECT_NE(Read(*row, L"Antecedent").find(L"Win32_DiskPartition.DeviceID=\"Disk #1, Partition #0\""),
              std::wstring::npos);
  }
  EXPECT_TRUE(found) << "F: has its association";

  Change([](sim::MachineDescription& d) {
    d.disks[1].nullProperties = {"Caption"};
    d.disks[1].failProperties = {"Size"};
  });
  rows.clear();
  ASSERT_EQ(Query(L"Win32_DiskDrive", rows), platform::kS_OK);
  ASSERT_EQ(rows.size(), 2u);
  std::wstring value = L"not read";
  EXPECT_EQ(rows[1]->Get(L"Caption", value), platform::kS_OK);
  EXPECT_EQ(value, L"") << "a null value reads as empty text";
  EXPECT_NE(rows[1]->Get(L"Size", value), platform::kS_OK);
  EXPECT_EQ(rows[1]->Get(L"NoSuchProperty", value), platform::wmi::kE_NOT_FOUND);
}

TEST_F(FakeWmiTest, FaultsComeAsWmiAnswersThem) {
  std::vector<std::unique_ptr<InventoryObject>> rows;
  Change([](sim::MachineDescription& d) { d.faults.inventoryConnect = 0x80041003; });
  EXPECT_EQ(Query(L"Win32_DiskDrive", rows), 0x80041003u) << "the connection's own code";

  Change([](sim::MachineDescription& d) {
    d.faults.inventoryConnect = 0;
    d.faults.inventoryFailQueries = {"Win32_DiskPartition"};
  });
  EXPECT_EQ(Query(L"Win32_DiskPartition", rows), platform::wmi::kE_FAILED);
  EXPECT_TRUE(rows.empty()) << "a failing query call gives no rows";

  Change([](sim::MachineDescription& d) {
    d.faults.inventoryFailQueries.clear();
    d.faults.inventoryFailAfterRows = {{"Win32_DiskDrive", 1}};
  });
  EXPECT_EQ(Query(L"Win32_DiskDrive", rows), platform::wmi::kE_FAILED);
  EXPECT_EQ(rows.size(), 1u) << "the row before the break stays, the answer is not complete";
}

TEST_F(FakeWmiTest, ASlowAnswerIsWaitedForWithinTheInventorysBound) {
  Change([](sim::MachineDescription& d) { d.faults.inventoryDelayMs = {{"Win32_DiskDrive", 300}}; });
  std::vector<std::unique_ptr<InventoryObject>> rows;
  EXPECT_EQ(Query(L"Win32_DiskDrive", rows, 10'000), platform::kS_OK);
  EXPECT_EQ(rows.size(), 2u);

  Change([](sim::MachineDescription& d) { d.faults.inventoryDelayMs = {{"Win32_DiskDrive", 5000}}; });
  rows.clear();
  EXPECT_EQ(Query(L"Win32_DiskDrive", rows, 200), platform::wmi::kE_TIMED_OUT);
  EXPECT_TRUE(rows.empty());
}

}  // namespace
}  // namespace kestrune
