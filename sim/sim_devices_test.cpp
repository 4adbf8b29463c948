#include <gtest/gtest.h>

#include <fstream>

#include "platform/native_path.h"
#include "sim/machine_actions.h"
#include "sim/sim_device_tree.h"
#include "sim/sim_disk_inventory.h"
#include "sim/sim_test_support.h"
#include "sim/sim_volume_info.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace wmi = platform::wmi;
using platform::HResult;
using testing::TemporaryMachine;

using Rows = std::vector<std::unique_ptr<platform::InventoryObject>>;

std::wstring Get(platform::InventoryObject& object, const wchar_t* name) {
  std::wstring value;
  EXPECT_EQ(object.Get(name, value), platform::kS_OK) << name;
  return value;
}

class InventoryTest : public ::testing::Test {
 protected:
  Rows Query(const wchar_t* className, HResult expected = platform::kS_OK) {
    Rows rows;
    EXPECT_EQ(inventory.ExecQuery(std::wstring(L"SELECT * FROM ") + className, rows), expected);
    return rows;
  }
  void SetUp() override {
    ASSERT_EQ(inventory.InitializeSecurity(), platform::kS_OK);
    ASSERT_EQ(inventory.Connect(), platform::kS_OK);
  }

  TemporaryMachine temp;
  SimDiskInventory inventory{temp.machine()};
};

TEST_F(InventoryTest, DisksAndAssociationsReadAsWmiGivesThem) {
  auto disks = Query(L"Win32_DiskDrive");
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(Get(*disks[1], L"InterfaceType"), L"USB");
  EXPECT_EQ(Get(*disks[1], L"mediatype"), L"Removable Media")
      << "property names match without regard to case";
  EXPECT_EQ(Get(*disks[1], L"Size"), L"32015679488");
  EXPECT_EQ(Get(*disks[1], L"DeviceID"), L"\\\\.\\PHYSICALDRIVE1");
  std::wstring value;
  EXPECT_EQ(disks[1]->Get(L"NoSuchProperty", value), wmi::kE_NOT_FOUND);

  auto links = Query(L"Win32_DiskDriveToDiskPartition");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(
      Get(*links[1], L"Antecedent"),
      L"\\\\KESTRUNE-SIM\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE1\"");
  EXPECT_EQ(
      Get(*links[1], L"Dependent"),
      L"\\\\KESTRUNE-SIM\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #1, Partition #0\"");
  auto letters = Query(L"Win32_LogicalDiskToPartition");
  ASSERT_EQ(letters.size(), 2u);
  EXPECT_EQ(Get(*letters[1], L"Dependent"),
            L"\\\\KESTRUNE-SIM\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"F:\"");
  auto partitions = Query(L"Win32_DiskPartition");
  ASSERT_EQ(partitions.size(), 2u);
  EXPECT_EQ(Get(*partitions[1], L"Type"), L"Installable File System");

  Query(L"Win32_Printer", wmi::kE_INVALID_CLASS);
  Rows rows;
  EXPECT_EQ(inventory.ExecQuery(L"SELECT Caption FROM Win32_DiskDrive WHERE x", rows),
            wmi::kE_INVALID_QUERY);
}

TEST_F(InventoryTest, FaultsSpoilCallsQueriesAndProperties) {
  temp.Change([](MachineDescription& d) {
    d.faults.inventoryFailQueries = {"Win32_DiskPartition"};
    d.disks[1].failProperties = {"PNPDeviceID"};
    d.disks[1].nullProperties = {"Caption"};
  });
  Query(L"Win32_DiskPartition", wmi::kE_FAILED);
  auto disks = Query(L"Win32_DiskDrive");
  std::wstring value = L"x";
  EXPECT_EQ(disks[1]->Get(L"PNPDeviceID", value), wmi::kE_FAILED);
  EXPECT_EQ(disks[1]->Get(L"Caption", value), platform::kS_OK);
  EXPECT_TRUE(value.empty());

  EXPECT_EQ(inventory.InitializeSecurity(), wmi::kRPC_E_TOO_LATE)
      << "security is set once per process";
  temp.Change([](MachineDescription& d) { d.faults.inventoryConnect = 0x80041003; });
  SimDiskInventory other(temp.machine());
  EXPECT_EQ(other.Connect(), 0x80041003u);
  Rows rows;
  EXPECT_EQ(other.ExecQuery(L"SELECT * FROM Win32_DiskDrive", rows), platform::kE_FAIL);
}

TEST(DeviceTreeTest, DisksHangBelowTheirParentWithItsContainerId) {
  TemporaryMachine temp;
  temp.Change([](MachineDescription& d) {
    d.disks.push_back(d.disks[1]);
    d.disks[2].number = 2;
    d.disks[2].pnpDeviceId = "USBSTOR\\DISK&VEN_CARD&PROD_READER\\1&0";
    d.disks[2].parentContainerId = kBuiltInContainerId;
    d.disks[2].partitions.clear();
    d.disks[1].parentContainerId.reset();
  });
  SimDeviceTree tree(temp.machine());
  std::vector<platform::DeviceNode> devices;
  ASSERT_TRUE(tree.ListPresentDevices(devices));
  std::map<std::wstring, uint32_t> containerResult;
  std::map<std::wstring, std::wstring> containers;
  for (const auto device : devices) {
    std::wstring id, container;
    ASSERT_EQ(tree.GetDeviceInstanceId(device, id), platform::cm::kCR_SUCCESS);
    platform::DeviceNode parent = 0;
    if (tree.GetParent(device, parent) != platform::cm::kCR_SUCCESS) continue;
    containerResult[id] = tree.GetBaseContainerId(parent, container);
    containers[id] = container;
  }
  EXPECT_EQ(containers[L"USBSTOR\\DISK&VEN_CARD&PROD_READER\\1&0"],
            L"{00000000-0000-0000-FFFF-FFFFFFFFFFFF}");
  EXPECT_EQ(
      containerResult[L"USBSTOR\\DISK&VEN_KESTRUNE&PROD_SIMSTICK&REV_1.00\\0123456789ABCDEF&0"],
      platform::cm::kCR_NO_SUCH_VALUE);

  temp.Change([](MachineDescription& d) { d.faults.deviceListFails = true; });
  EXPECT_FALSE(tree.ListPresentDevices(devices));
}

TEST(VolumeFaultTest, DiskVanishesOnceItsVolumesHoldMoreThanItsLimit) {
  TemporaryMachine temp;
  temp.Change([](MachineDescription& d) { d.disks[1].vanishAfterBytes = 1000; });
  SimVolumeInfo volumes(temp.machine());
  platform::VolumeSpace space;
  std::ofstream(temp.machine().VolumeFolder('F') / "a.bin") << std::string(600, 'a');
  ASSERT_TRUE(volumes.GetFreeSpace(L"F:\\", space));
  std::ofstream(temp.machine().VolumeFolder('F') / "b.bin") << std::string(600, 'b');
  EXPECT_FALSE(volumes.GetFreeSpace(L"F:\\", space));
  EXPECT_FALSE(temp.Read().disks[1].present);
  EXPECT_FALSE(std::ofstream(temp.machine().VolumeFolder('F') / "c.bin"))
      << "writing below the drive fails";

  SimDiskInventory inventory(temp.machine());
  inventory.Connect();
  Rows disks;
  ASSERT_EQ(inventory.ExecQuery(L"SELECT * FROM Win32_DiskDrive", disks), platform::kS_OK);
  EXPECT_EQ(disks.size(), 1u);

  ASSERT_TRUE(SetDiskPresent(temp.machine(), 1, true));
  temp.Change([](MachineDescription& d) { d.disks[1].vanishAfterBytes.reset(); });
  EXPECT_TRUE(volumes.GetFreeSpace(L"F:\\", space));
}

TEST(VolumeFaultTest, VolumeFillsUpAtItsCapacity) {
  TemporaryMachine temp;
  temp.Change([](MachineDescription& d) { d.disks[1].partitions[0].sizeBytes = 4096; });
  SimVolumeInfo volumes(temp.machine());
  platform::VolumeSpace space;
  std::ofstream(temp.machine().VolumeFolder('F') / "a.bin") << std::string(3000, 'a');
  ASSERT_TRUE(volumes.GetFreeSpace(L"F:", space));
  EXPECT_EQ(space.freeBytesToCaller, 1096u);
  std::ofstream(temp.machine().VolumeFolder('F') / "b.bin") << std::string(3000, 'b');
  EXPECT_FALSE(volumes.GetFreeSpace(L"F:", space)) << "a full volume takes no more files";
  EXPECT_TRUE(temp.Read().disks[1].partitions[0].full);

  temp.Change([](MachineDescription& d) {
    d.disks[0].partitions[0].usedBytes = d.disks[0].partitions[0].sizeBytes - 5;
  });
  ASSERT_TRUE(volumes.GetFreeSpace(L"c:\\", space));
  EXPECT_EQ(space.freeBytesToCaller, 5u);
}

TEST(VolumeInfoTest, TempFilesOsVersionAndOtherPaths) {
  TemporaryMachine temp;
  SimVolumeInfo volumes(temp.machine());
  std::wstring first, second;
  ASSERT_EQ(volumes.CreateTempFile(platform::FromNativePath(temp.folder()), L"recovery", first),
            0u);
  ASSERT_EQ(volumes.CreateTempFile(platform::FromNativePath(temp.folder()), L"recovery", second),
            0u);
  EXPECT_NE(first, second);
  const fs::path file = platform::ToNativePath(first);
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(file.filename().string().substr(0, 3), "rec");
  EXPECT_EQ(file.extension(), ".tmp");
  EXPECT_EQ(volumes.CreateTempFile(L"/no/such/folder", L"rec", first), 267u);

  platform::VolumeSpace space;
  EXPECT_TRUE(volumes.GetFreeSpace(platform::FromNativePath(temp.folder()), space))
      << "a real folder";
  EXPECT_GT(space.totalBytes, 0u);
  EXPECT_FALSE(volumes.GetFreeSpace(L"E:\\", space)) << "a blank disc has no file system";
  EXPECT_FALSE(volumes.GetFreeSpace(L"Q:\\", space));

  SimOsVersion os(temp.machine());
  EXPECT_TRUE(os.IsWindows8OrGreater());
  temp.Change([](MachineDescription& d) { d.windowsVersion = "6.1"; });
  EXPECT_FALSE(os.IsWindows8OrGreater());
}

}  // namespace
}  // namespace kestrune::sim
