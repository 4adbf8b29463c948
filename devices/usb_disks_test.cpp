// USB disk enumeration against simulated machines: which disks qualify, their partitions and
// letters, the order of the result, and what every kind of failure leaves out.
#include "devices/usb_disks.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "sim/sim_device_tree.h"
#include "sim/sim_disk_inventory.h"
#include "sim/sim_test_support.h"

namespace kestrune {
namespace {

using sim::DiskDescription;
using sim::MachineDescription;
using sim::PartitionDescription;
using Partitions = std::vector<std::wstring>;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

PartitionDescription Partition(const std::string& letter, const std::string& type = "") {
  PartitionDescription partition;
  partition.sizeBytes = kGiB;
  partition.letter = letter;
  partition.fileSystem = letter.empty() ? "" : "FAT32";
  if (!type.empty()) partition.type = type;
  return partition;
}

DiskDescription UsbDisk(uint32_t number, const std::string& caption, const std::string& mediaType,
                        std::vector<PartitionDescription> partitions) {
  DiskDescription disk;
  disk.number = number;
  disk.caption = caption;
  disk.mediaType = mediaType;
  disk.pnpDeviceId = "USBSTOR\\DISK&VEN_SIM&PROD_" + caption + "\\" + std::to_string(number);
  disk.parentInstanceId = "USB\\VID_1234&PID_" + std::to_string(number);
  disk.parentContainerId = "{6c3e5a0b-8f2d-5c4e-9a1b-00000000000" + std::to_string(number) + "}";
  disk.sizeBytes = 16 * kGiB;
  disk.partitions = std::move(partitions);
  return disk;
}

class UsbDisksTest : public ::testing::Test {
 protected:
  std::vector<CVantorEnumUSBDetail> Enumerate() {
    sim::SimDiskInventory inventory(temp.machine());
    sim::SimDeviceTree tree(temp.machine());
    std::vector<CVantorEnumUSBDetail> list;
    EnumUSBDisks(inventory, tree, list);
    return list;
  }
  std::vector<std::wstring> Captions() {
    std::vector<std::wstring> captions;
    for (const auto& detail : Enumerate()) captions.push_back(detail.caption);
    return captions;
  }
  UsbDiskInspection Inspect(uint32_t number) {
    sim::SimDiskInventory inventory(temp.machine());
    sim::SimDeviceTree tree(temp.machine());
    return InspectUsbDisk(inventory, tree, number);
  }
  // Disk 0 is the built-in system disk and disk 1 the default stick F: of the default machine;
  // disks 2 and 3 are an external disk G: and a second stick H:.
  void AddTwoDisks() {
    temp.Change([](MachineDescription& d) {
      d.disks.push_back(UsbDisk(2, "External", "External hard disk media", {Partition("G")}));
      d.disks.push_back(UsbDisk(3, "Second", "Removable Media", {Partition("H")}));
    });
  }

  sim::testing::TemporaryMachine temp;
};

// Counts the queries made through it.
class CountingInventory : public sim::SimDiskInventory {
 public:
  using SimDiskInventory::SimDiskInventory;
  platform::HResult ExecQuery(
      const std::wstring& wql,
      std::vector<std::unique_ptr<platform::InventoryObject>>& objects) override {
    ++queries;
    return SimDiskInventory::ExecQuery(wql, objects);
  }
  int queries = 0;
};

TEST_F(UsbDisksTest, EveryKindOfDiskInRemovableThenExternalOrder) {
  temp.Change([](MachineDescription& d) {
    d.disks.push_back(UsbDisk(2, "External", "External hard disk media", {Partition("G")}));
    d.disks.push_back(UsbDisk(3, "Lower", "removable media", {}));
    DiskDescription reader = UsbDisk(4, "Reader", "Removable Media", {Partition("I")});
    reader.parentContainerId = sim::kBuiltInContainerId;
    d.disks.push_back(reader);
    d.disks.push_back(UsbDisk(5, "Fixed", "Fixed hard disk media", {Partition("J")}));
    DiskDescription sata = UsbDisk(6, "Sata", "External hard disk media", {Partition("K")});
    sata.interfaceType = "SCSI";
    d.disks.push_back(sata);
    d.disks.push_back(UsbDisk(7, "Gpt", "Removable Media",
                              {Partition("", "GPT: System"), Partition("L", "GPT: Basic Data")}));
    d.disks.push_back(UsbDisk(8, "GptNoLetter", "External Hard Disk Media",
                              {Partition("", "GPT: Basic Data"), Partition("", "GPT: Unknown"),
                               Partition("", "Unknown")}));
    d.disks.push_back(UsbDisk(9, "Two", "Removable Media", {Partition("N"), Partition("M")}));
    d.disks[1].interfaceType = "usb";
  });
  const auto list = Enumerate();
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[0].caption, L"Kestrune SimStick USB Device");
  EXPECT_EQ(list[0].size, L"32015679488");
  EXPECT_EQ(list[0].mediaTypeText, L"Removable Media");
  EXPECT_EQ(list[0].partitions, Partitions{L"F:"});
  EXPECT_EQ(list[1].caption, L"Lower");
  EXPECT_EQ(list[1].mediaTypeText, L"removable media") << "kept as returned";
  EXPECT_EQ(list[1].partitions, Partitions{});
  EXPECT_EQ(list[2].caption, L"Gpt");
  EXPECT_EQ(list[2].partitions, Partitions{L"L:"}) << "the EFI system partition is not counted";
  EXPECT_EQ(list[3].caption, L"Two");
  EXPECT_EQ(list[3].partitions, (Partitions{L"N:", L"M:"})) << "association order";
  EXPECT_EQ(list[4].caption, L"External");
  EXPECT_EQ(list[4].partitions, Partitions{L"G:"});
  EXPECT_EQ(list[5].caption, L"GptNoLetter");
  EXPECT_EQ(list[5].partitions, Partitions{L""}) << "a letterless data partition counts";
}

TEST_F(UsbDisksTest, ConnectionFailuresListNothing) {
  temp.Change([](MachineDescription& d) { d.faults.inventorySecurity = 0x80010119; });
  EXPECT_EQ(Enumerate().size(), 1u) << "security set already by the process is no obstacle";
  for (const auto& fault : std::vector<std::function<void(MachineDescription&)>>{
           [](MachineDescription& d) { d.faults.inventorySecurity = 0x80070005; },
           [](MachineDescription& d) { d.faults.inventoryConnect = 0x80041003; },
           [](MachineDescription& d) { d.faults.inventoryFailQueries = {"Win32_DiskDrive"}; }}) {
    temp.Change([&](MachineDescription& d) {
      d.faults = {};
      fault(d);
    });
    EXPECT_TRUE(Enumerate().empty());
  }
}

TEST_F(UsbDisksTest, AFailedReadLeavesOutOnlyThatDisk) {
  AddTwoDisks();
  for (const char* property :
       {"InterfaceType", "MediaType", "Caption", "Size", "PNPDeviceID", "DeviceID"}) {
    temp.Change([&](MachineDescription& d) { d.disks[2].failProperties = {property}; });
    EXPECT_EQ(Captions(), (std::vector<std::wstring>{L"Kestrune SimStick USB Device", L"Second"}))
        << property;
  }
  // A null interface or media type equals none of the accepted values.
  temp.Change([](MachineDescription& d) {
    d.disks[2].failProperties.clear();
    d.disks[3].nullProperties = {"MediaType"};
  });
  EXPECT_EQ(Captions(), (std::vector<std::wstring>{L"Kestrune SimStick USB Device", L"External"}));
}

TEST_F(UsbDisksTest, DeviceTreeDecidesBuiltInDisks) {
  AddTwoDisks();
  temp.Change([](MachineDescription& d) {
    d.disks[2].parentContainerId.reset();  // unreadable container: passes
    d.disks[3].parentReadable = false;     // unreadable parent: passes
    d.disks[1].inDeviceTree = false;       // not found at all: passes
  });
  EXPECT_EQ(Captions().size(), 3u);
  temp.Change([](MachineDescription& d) {
    d.disks[3].parentReadable = true;
    d.disks[3].parentContainerId = "{00000000-0000-0000-ffff-ffffffffffff}";
  });
  EXPECT_EQ(Captions(), (std::vector<std::wstring>{L"Kestrune SimStick USB Device", L"External"}))
      << "the built-in container id compares without regard to case";
  temp.Change([](MachineDescription& d) { d.faults.deviceListFails = true; });
  EXPECT_TRUE(Enumerate().empty()) << "without a device list no disk is known to be external";
}

TEST_F(UsbDisksTest, PartitionQueryFailures) {
  temp.Change([](MachineDescription& d) {
    d.disks.push_back(UsbDisk(2, "Letterless", "Removable Media", {Partition("", "")}));
    d.disks[2].partitions[0].type = "Installable File System";
  });
  temp.Change([](MachineDescription& d) {
    d.faults.inventoryFailQueries = {"Win32_DiskDriveToDiskPartition"};
  });
  EXPECT_TRUE(Enumerate().empty()) << "no association list: every disk is left out";

  temp.Change([](MachineDescription& d) {
    d.faults.inventoryFailQueries = {"Win32_LogicalDiskToPartition"};
  });
  auto list = Enumerate();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].partitions, Partitions{}) << "a partition without its letter is not counted";
  EXPECT_EQ(list[1].partitions, Partitions{});

  temp.Change(
      [](MachineDescription& d) { d.faults.inventoryFailQueries = {"Win32_DiskPartition"}; });
  list = Enumerate();
  ASSERT_EQ(list.size(), 1u) << "a letterless partition of unknown type drops its disk";
  EXPECT_EQ(list[0].partitions, Partitions{L"F:"}) << "a lettered one needs no type";
}

TEST_F(UsbDisksTest, PerRowFaultsSkipThePartitionConcerned) {
  temp.Change([](MachineDescription& d) {
    d.disks[1].partitions.push_back(Partition("", "Installable File System"));
    d.disks[1].partitions.push_back(Partition("P"));
  });
  ASSERT_EQ(Enumerate().at(0).partitions, (Partitions{L"F:", L"", L"P:"}));
  const auto partitionsWith = [&](std::vector<std::string> failing, std::string omitted) {
    temp.Change([&](MachineDescription& d) {
      for (size_t i = 1; i < 3; ++i) {
        d.disks[1].partitions[i].failProperties = failing;
        d.disks[1].partitions[i].omitRows = {omitted};
      }
    });
    return Enumerate().at(0).partitions;
  };
  EXPECT_EQ(partitionsWith({"Win32_DiskDriveToDiskPartition.Antecedent"}, ""), Partitions{L"F:"});
  EXPECT_EQ(partitionsWith({"Win32_DiskPartition.Type"}, ""), (Partitions{L"F:", L"P:"}))
      << "a letterless partition whose type cannot be read is not counted";
  EXPECT_EQ(partitionsWith({}, "Win32_LogicalDiskToPartition"), (Partitions{L"F:", L"", L""}))
      << "a partition whose letter association is missing counts as letterless";
}

TEST_F(UsbDisksTest, InspectionIsStrictWhereTheListIsLenient) {
  AddTwoDisks();
  auto stick = Inspect(1);
  EXPECT_TRUE(stick.listed && stick.qualifies && stick.complete);
  EXPECT_EQ(stick.letters, std::vector<wchar_t>{L'F'});
  EXPECT_EQ(stick.sizeBytes, 32'015'679'488u);
  EXPECT_FALSE(Inspect(0).qualifies) << "the system disk";
  EXPECT_FALSE(Inspect(7).listed);
  EXPECT_TRUE(Inspect(2).qualifies) << "an external disk";

  temp.Change([](MachineDescription& d) { d.disks[1].inDeviceTree = false; });
  EXPECT_FALSE(Inspect(1).qualifies) << "listed above, but nothing shows it is external";
  temp.Change([](MachineDescription& d) {
    d.disks[1].inDeviceTree = true;
    d.disks[1].parentContainerId.reset();
  });
  EXPECT_FALSE(Inspect(1).qualifies);
  temp.Change([](MachineDescription& d) {
    d.disks[1].parentContainerId = "{1}";
    d.disks[3].partitions[0].failProperties = {"Win32_LogicalDiskToPartition.Antecedent"};
  });
  stick = Inspect(1);
  EXPECT_TRUE(stick.qualifies);
  EXPECT_FALSE(stick.complete) << "a row that cannot be read might belong to this disk";
  temp.Change([](MachineDescription& d) {
    d.disks[3].partitions[0].failProperties.clear();
    d.faults.inventoryFailQueries = {"Win32_LogicalDiskToPartition"};
  });
  EXPECT_FALSE(Inspect(1).complete);
  EXPECT_TRUE(Inspect(1).letters.empty());
}

// An enumeration that breaks off after some rows answered nothing, whatever it read first.
TEST_F(UsbDisksTest, AnEnumerationThatBreaksOffIsDoubtNotAShorterList) {
  AddTwoDisks();  // disk rows: the system disk, the stick, the external disk, the second stick
  const auto failAfter = [&](const char* className, uint32_t rows) {
    temp.Change([&](MachineDescription& d) {
      d.faults.inventoryFailAfterRows = {{className, rows}};
    });
  };
  failAfter("Win32_DiskDrive", 2);
  EXPECT_TRUE(Enumerate().empty()) << "the stick read before the failure is not listed alone";
  UsbDiskInspection stick = Inspect(1);
  EXPECT_FALSE(stick.listed);
  EXPECT_FALSE(stick.complete);
  failAfter("Win32_DiskDrive", 4);
  EXPECT_TRUE(Enumerate().empty()) << "failing in place of the normal end";

  failAfter("Win32_DiskDriveToDiskPartition", 2);
  EXPECT_TRUE(Enumerate().empty()) << "no disk is judged on part of the associations";
  EXPECT_FALSE(Inspect(1).complete);
  // The system disk's C: comes first; the stick's letter F: is cut off. Taken as an answer,
  // the rows would make the stick a complete disk without a letter.
  failAfter("Win32_LogicalDiskToPartition", 1);
  stick = Inspect(1);
  EXPECT_TRUE(stick.listed && stick.qualifies);
  EXPECT_FALSE(stick.complete);
  EXPECT_TRUE(stick.letters.empty());
}

// A query that does not answer in time is a failure, and ends the listing: an inventory that
// hangs costs the Drive page one timeout, not one per query.
TEST_F(UsbDisksTest, AnInventoryThatDoesNotAnswerInTimeIsDoubt) {
  AddTwoDisks();
  const auto slow = [&](const char* className, uint32_t delayMs, uint32_t timeoutMs) {
    temp.Change([&](MachineDescription& d) {
      d.faults.inventoryDelayMs = {{className, delayMs}};
      d.faults.inventoryTimeoutMs = timeoutMs;
    });
  };
  EXPECT_EQ(MachineDescription{}.faults.inventoryTimeoutMs, platform::kQueryTimeoutMs)
      << "unless a test shortens it, the simulated inventory waits as long as the real one";
  constexpr uint32_t kForever = std::numeric_limits<uint32_t>::max();
  slow("Win32_DiskDrive", kForever, 20);
  {
    sim::SimDiskInventory inventory(temp.machine());
    ASSERT_EQ(inventory.Connect(), platform::kS_OK);
    std::vector<std::unique_ptr<platform::InventoryObject>> rows;
    EXPECT_EQ(inventory.ExecQuery(L"SELECT * FROM Win32_DiskDrive", rows),
              platform::wmi::kE_TIMED_OUT);
    EXPECT_TRUE(rows.empty());
  }
  EXPECT_TRUE(Enumerate().empty());
  EXPECT_FALSE(Inspect(1).listed);
  slow("Win32_DiskDrive", 1, 10'000);
  EXPECT_EQ(Captions().size(), 3u) << "an answer within the time is an answer";

  slow("Win32_DiskDriveToDiskPartition", kForever, 20);
  CountingInventory inventory(temp.machine());
  sim::SimDeviceTree tree(temp.machine());
  std::vector<CVantorEnumUSBDetail> list;
  EnumUSBDisks(inventory, tree, list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(inventory.queries, 2) << "the disks, then one association query that timed out";
  EXPECT_FALSE(Inspect(1).complete);
}

}  // namespace
}  // namespace kestrune
