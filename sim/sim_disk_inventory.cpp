#include "sim/sim_disk_inventory.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "sim/machine_actions.h"
#include "text/ascii_case.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace wmi = platform::wmi;
using platform::HResult;
using text::Utf8FromWide;
using text::WideFromUtf8;

std::string Lower(std::string text) { return text::ToAsciiLower(std::move(text)); }

// The value a per-class fault gives `className` (lower case), if any.
std::optional<uint32_t> ForClass(const std::map<std::string, uint32_t>& faults,
                                 const std::string& className) {
  for (const auto& [name, value] : faults) {
    if (Lower(name) == className) return value;
  }
  return std::nullopt;
}

// One result row: named texts, plus the names whose reads fail or read as null.
class SimInventoryObject : public platform::InventoryObject {
 public:
  void Set(const std::string& name, const std::string& value) { properties_[Lower(name)] = value; }
  void FailReads(const std::vector<std::string>& names, HResult code) {
    for (const auto& name : names) failing_[Lower(name)] = code;
  }
  void NullReads(const std::vector<std::string>& names) {
    for (const auto& name : names) properties_[Lower(name)] = "";
  }

  HResult Get(const std::wstring& name, std::wstring& value) override {
    const std::string key = Lower(Utf8FromWide(name));
    if (const auto failure = failing_.find(key); failure != failing_.end()) return failure->second;
    const auto it = properties_.find(key);
    if (it == properties_.end()) return wmi::kE_NOT_FOUND;
    value = WideFromUtf8(it->second);
    return platform::kS_OK;
  }

 private:
  std::map<std::string, std::string> properties_;
  std::map<std::string, HResult> failing_;
};

// The key value of an object path, with backslashes and quotes escaped as WMI writes them.
std::string Escaped(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string ObjectPath(const std::string& host, const std::string& className,
                       const std::string& key) {
  return "\\\\" + host + "\\root\\cimv2:" + className + ".DeviceID=\"" + Escaped(key) + "\"";
}

std::string DriveId(const DiskDescription& disk) {
  return "\\\\.\\PHYSICALDRIVE" + std::to_string(disk.number);
}

std::string PartitionId(const DiskDescription& disk, size_t index) {
  return "Disk #" + std::to_string(disk.number) + ", Partition #" + std::to_string(index);
}

// The class named by "SELECT * FROM <class>"; empty when the text has another form.
std::string QueriedClass(const std::string& wql) {
  std::vector<std::string> words;
  size_t position = 0;
  while (position < wql.size()) {
    const size_t start = wql.find_first_not_of(" \t\r\n", position);
    if (start == std::string::npos) break;
    const size_t end = std::min(wql.find_first_of(" \t\r\n", start), wql.size());
    words.push_back(wql.substr(start, end - start));
    position = end;
  }
  if (words.size() != 4 || Lower(words[0]) != "select" || words[1] != "*" ||
      Lower(words[2]) != "from") {
    return {};
  }
  return Lower(words[3]);
}

void AddDrives(const MachineDescription& machine,
               std::vector<std::unique_ptr<platform::InventoryObject>>& out) {
  for (const auto& disk : machine.disks) {
    if (!disk.present) continue;
    auto object = std::make_unique<SimInventoryObject>();
    object->Set("Caption", disk.caption);
    object->Set("Model", disk.caption);
    object->Set("DeviceID", DriveId(disk));
    object->Set("Index", std::to_string(disk.number));
    object->Set("InterfaceType", disk.interfaceType);
    object->Set("MediaType", disk.mediaType);
    object->Set("PNPDeviceID", disk.pnpDeviceId);
    object->Set("Size", std::to_string(disk.sizeBytes));
    object->Set("Partitions", std::to_string(disk.partitions.size()));
    object->NullReads(disk.nullProperties);
    object->FailReads(disk.failProperties, wmi::kE_FAILED);
    out.push_back(std::move(object));
  }
}

bool Omitted(const PartitionDescription& partition, const std::string& className) {
  for (const auto& omitted : partition.omitRows) {
    if (Lower(omitted) == Lower(className)) return true;
  }
  return false;
}

// The partition's "Class.Property" faults that concern a row of `className`.
void FailRowReads(SimInventoryObject& row, const PartitionDescription& partition,
                  const std::string& className) {
  const std::string prefix = Lower(className) + ".";
  std::vector<std::string> names;
  for (const auto& qualified : partition.failProperties) {
    if (Lower(qualified).rfind(prefix, 0) == 0) names.push_back(qualified.substr(prefix.size()));
  }
  row.FailReads(names, wmi::kE_FAILED);
}

void AddDriveToPartition(const MachineDescription& machine,
                         std::vector<std::unique_ptr<platform::InventoryObject>>& out) {
  for (const auto& disk : machine.disks) {
    if (!disk.present) continue;
    for (size_t i = 0; i < disk.partitions.size(); ++i) {
      const char* className = "Win32_DiskDriveToDiskPartition";
      if (Omitted(disk.partitions[i], className)) continue;
      auto object = std::make_unique<SimInventoryObject>();
      object->Set("Antecedent", ObjectPath(machine.computerName, "Win32_DiskDrive", DriveId(disk)));
      object->Set("Dependent",
                  ObjectPath(machine.computerName, "Win32_DiskPartition", PartitionId(disk, i)));
      FailRowReads(*object, disk.partitions[i], className);
      out.push_back(std::move(object));
    }
  }
}

void AddLogicalToPartition(const MachineDescription& machine,
                           std::vector<std::unique_ptr<platform::InventoryObject>>& out) {
  for (const auto& disk : machine.disks) {
    if (!disk.present) continue;
    for (size_t i = 0; i < disk.partitions.size(); ++i) {
      const char letter = DriveLetter(disk.partitions[i].letter);
      const char* className = "Win32_LogicalDiskToPartition";
      if (!letter || Omitted(disk.partitions[i], className)) continue;
      auto object = std::make_unique<SimInventoryObject>();
      object->Set("Antecedent",
                  ObjectPath(machine.computerName, "Win32_DiskPartition", PartitionId(disk, i)));
      object->Set("Dependent", ObjectPath(machine.computerName, "Win32_LogicalDisk",
                                          std::string(1, letter) + ":"));
      FailRowReads(*object, disk.partitions[i], className);
      out.push_back(std::move(object));
    }
  }
}

void AddPartitions(const MachineDescription& machine,
                   std::vector<std::unique_ptr<platform::InventoryObject>>& out) {
  for (const auto& disk : machine.disks) {
    if (!disk.present) continue;
    for (size_t i = 0; i < disk.partitions.size(); ++i) {
      const auto& partition = disk.partitions[i];
      const char* className = "Win32_DiskPartition";
      if (Omitted(partition, className)) continue;
      auto object = std::make_unique<SimInventoryObject>();
      object->Set("DeviceID", PartitionId(disk, i));
      object->Set("DiskIndex", std::to_string(disk.number));
      object->Set("Index", std::to_string(i));
      object->Set("Type", partition.type);
      object->Set("Size", std::to_string(partition.sizeBytes));
      object->Set("StartingOffset", std::to_string(partition.offsetBytes));
      object->Set("Bootable", partition.active ? "True" : "False");
      object->Set("PrimaryPartition", "True");
      FailRowReads(*object, partition, className);
      out.push_back(std::move(object));
    }
  }
}

}  // namespace

HResult SimDiskInventory::InitializeSecurity() {
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  if (machine.faults.inventorySecurity != 0) return machine.faults.inventorySecurity;
  // COM lets a process set its security once; later calls are told it is too late.
  if (securitySet_) return wmi::kRPC_E_TOO_LATE;
  securitySet_ = true;
  return platform::kS_OK;
}

HResult SimDiskInventory::Connect() {
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  if (machine.faults.inventoryConnect != 0) return machine.faults.inventoryConnect;
  connected_ = true;
  return platform::kS_OK;
}

HResult SimDiskInventory::ExecQuery(
    const std::wstring& wql, std::vector<std::unique_ptr<platform::InventoryObject>>& objects) {
  if (!connected_) return platform::kE_FAIL;
  ApplyVolumeFaults(machine_);
  MachineDescription machine;
  if (!machine_.Read(machine)) return platform::kE_FAIL;
  const std::string className = QueriedClass(Utf8FromWide(wql));
  if (className.empty()) return wmi::kE_INVALID_QUERY;
  for (const auto& failing : machine.faults.inventoryFailQueries) {
    if (Lower(failing) == className) return wmi::kE_FAILED;
  }
  std::vector<std::unique_ptr<platform::InventoryObject>> rows;
  if (className == "win32_diskdrive") {
    AddDrives(machine, rows);
  } else if (className == "win32_diskdrivetodiskpartition") {
    AddDriveToPartition(machine, rows);
  } else if (className == "win32_logicaldisktopartition") {
    AddLogicalToPartition(machine, rows);
  } else if (className == "win32_diskpartition") {
    AddPartitions(machine, rows);
  } else {
    return wmi::kE_INVALID_CLASS;
  }

  // A slow inventory: the caller waits for it, but no longer than the real one would.
  const MachineFaults& faults = machine.faults;
  if (const auto delay = ForClass(faults.inventoryDelayMs, className)) {
    const uint32_t waited = std::min(*delay, faults.inventoryTimeoutMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(waited));
    if (*delay >= faults.inventoryTimeoutMs) return wmi::kE_TIMED_OUT;
  }
  // The enumeration breaks where row N + 1, or its normal end, would come.
  const auto failAfter = ForClass(faults.inventoryFailAfterRows, className);
  const bool breaks = failAfter && *failAfter <= rows.size();
  if (breaks) rows.resize(*failAfter);
  for (auto& row : rows) objects.push_back(std::move(row));
  return breaks ? wmi::kE_FAILED : platform::kS_OK;
}

}  // namespace kestrune::sim
