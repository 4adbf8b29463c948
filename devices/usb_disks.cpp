#include "devices/usb_disks.h"

#include <memory>
#include <string_view>

#include "text/ascii_case.h"

namespace kestrune {
namespace {

namespace wmi = platform::wmi;
using platform::Failed;
using Rows = std::vector<std::unique_ptr<platform::InventoryObject>>;

/// The container id Windows gives every device built into the computer.
constexpr std::wstring_view kBuiltInContainerId = L"{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";

/// The inventory as the enumeration asks it. A query that failed, however many rows it read
/// first, answered nothing. A query that ran out of time puts the whole inventory in doubt:
/// no further query is made, since each would wait as long again.
class Inventory {
 public:
  explicit Inventory(platform::DiskInventory& inventory) : inventory_(inventory) {}

  /// The rows of every object of `className`; false when the query failed (`rows` is then
  /// not to be used) or an earlier one ran out of time.
  bool Query(const wchar_t* className, Rows& rows) {
    if (timedOut_) return false;
    const platform::HResult result =
        inventory_.ExecQuery(std::wstring(L"SELECT * FROM ") + className, rows);
    if (result == wmi::kE_TIMED_OUT) timedOut_ = true;
    return !Failed(result);
  }
  bool TimedOut() const { return timedOut_; }

 private:
  platform::DiskInventory& inventory_;
  bool timedOut_ = false;
};

/// Reads a property as text; a null value reads as empty text.
bool Read(platform::InventoryObject& object, const wchar_t* name, std::wstring& value) {
  value.clear();
  return !Failed(object.Get(name, value));
}

/// An association's object path reduced to its key value: everything after the first "="
/// (all of it without one), without double quotes.
std::wstring ReduceReference(std::wstring_view path) {
  const size_t equals = path.find(L'=');
  if (equals != std::wstring_view::npos) path.remove_prefix(equals + 1);
  std::wstring value;
  for (const wchar_t c : path) {
    if (c != L'"') value += c;
  }
  return value;
}

/// Replaces every pair of backslashes by one, so that a key value as an object path writes it
/// (\\\\.\\PHYSICALDRIVE1) equals the property itself (\\.\PHYSICALDRIVE1).
std::wstring CollapseBackslashPairs(std::wstring_view text) {
  std::wstring collapsed;
  for (size_t i = 0; i < text.size(); ++i) {
    collapsed += text[i];
    if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\') ++i;
  }
  return collapsed;
}

bool IsAcceptedMediaType(std::wstring_view mediaType) {
  return text::EqualsIgnoringAsciiCase(mediaType, L"Removable media") ||
         text::EqualsIgnoringAsciiCase(mediaType, L"External hard disk media");
}

/// Types of letterless partitions that are no place for data (EFI system partitions and the
/// like): they are not counted at all.
bool IsUncountedType(std::wstring_view type) {
  return type.empty() || text::EqualsIgnoringAsciiCase(type, L"GPT: System") ||
         text::EqualsIgnoringAsciiCase(type, L"GPT: Unknown") ||
         text::EqualsIgnoringAsciiCase(type, L"Unknown");
}

/// The drive letter of a logical disk name ("E:"), upper case; 0 for any other text.
wchar_t LetterOf(std::wstring_view name) {
  if (name.size() != 2 || name[1] != L':') return 0;
  const wchar_t c = text::AsciiUpper(name[0]);
  return (c >= L'A' && c <= L'Z') ? c : 0;
}

/// What the device tree says about the device with instance id `pnpDeviceId`.
struct TreeFindings {
  bool listed = false;      // the list of present devices could be made
  bool found = false;       // a device has that instance id
  bool builtIn = false;     // its parent carries the built-in container id
  bool unreadable = false;  // an id, parent or container id could not be read on the way
};

TreeFindings LookInDeviceTree(platform::DeviceTree& tree, const std::wstring& pnpDeviceId) {
  TreeFindings findings;
  std::vector<platform::DeviceNode> devices;
  if (!tree.ListPresentDevices(devices)) return findings;
  findings.listed = true;
  for (const platform::DeviceNode device : devices) {
    std::wstring instanceId;
    if (tree.GetDeviceInstanceId(device, instanceId) != platform::cm::kCR_SUCCESS) {
      findings.unreadable = true;
      continue;
    }
    if (!text::EqualsIgnoringAsciiCase(instanceId, pnpDeviceId)) continue;
    findings.found = true;
    platform::DeviceNode parent = 0;
    std::wstring containerId;
    if (tree.GetParent(device, parent) != platform::cm::kCR_SUCCESS ||
        tree.GetBaseContainerId(parent, containerId) != platform::cm::kCR_SUCCESS) {
      findings.unreadable = true;
      continue;
    }
    if (text::EqualsIgnoringAsciiCase(containerId, kBuiltInContainerId)) findings.builtIn = true;
  }
  return findings;
}

/// The partitions of one disk, found through the association classes.
struct PartitionWalk {
  std::vector<std::wstring> counted;  // the record's partitions
  std::vector<wchar_t> letters;       // every letter found
  bool dropDisk = false;              // the disk cannot be judged: leave it out
  bool doubt = false;                 // some query or read failed on the way
};

/// The letter of partition `partitionId` through Win32_LogicalDiskToPartition; the last
/// matching association wins. False when the query call fails.
bool FindLetter(Inventory& inventory, const std::wstring& partitionId, std::wstring& letter,
                bool& doubt) {
  Rows rows;
  if (!inventory.Query(L"Win32_LogicalDiskToPartition", rows)) return false;
  letter.clear();
  for (auto& row : rows) {
    std::wstring antecedent, dependent;
    if (!Read(*row, L"Antecedent", antecedent)) {
      doubt = true;
      continue;
    }
    if (ReduceReference(antecedent) != partitionId) continue;
    if (!Read(*row, L"Dependent", dependent)) {
      doubt = true;
      continue;
    }
    letter = ReduceReference(dependent);
  }
  return true;
}

/// The Type of the first Win32_DiskPartition whose DeviceID is `partitionId` (empty when none
/// is). False when the query call fails.
bool FindType(Inventory& inventory, const std::wstring& partitionId, std::wstring& type,
              bool& doubt) {
  Rows rows;
  if (!inventory.Query(L"Win32_DiskPartition", rows)) return false;
  type.clear();
  for (auto& row : rows) {
    std::wstring deviceId;
    if (!Read(*row, L"DeviceID", deviceId)) {
      doubt = true;
      continue;
    }
    if (deviceId != partitionId) continue;
    if (!Read(*row, L"Type", type)) {
      doubt = true;
      type.clear();
    }
    break;
  }
  return true;
}

PartitionWalk WalkPartitions(Inventory& inventory, const std::wstring& deviceId) {
  PartitionWalk walk;
  Rows links;
  if (!inventory.Query(L"Win32_DiskDriveToDiskPartition", links)) {
    walk.dropDisk = walk.doubt = true;
    return walk;
  }
  for (auto& link : links) {
    std::wstring antecedent, dependent;
    if (!Read(*link, L"Antecedent", antecedent)) {
      walk.doubt = true;
      continue;
    }
    if (CollapseBackslashPairs(ReduceReference(antecedent)) != deviceId) continue;
    if (!Read(*link, L"Dependent", dependent)) {
      walk.doubt = true;
      continue;
    }
    const std::wstring partitionId = ReduceReference(dependent);

    std::wstring letter;
    if (!FindLetter(inventory, partitionId, letter, walk.doubt)) {
      walk.doubt = true;  // this partition is not counted
      continue;
    }
    if (!letter.empty()) {
      walk.counted.push_back(letter);
      if (const wchar_t upper = LetterOf(letter)) {
        walk.letters.push_back(upper);
      } else {
        walk.doubt = true;
      }
      continue;
    }
    std::wstring type;
    if (!FindType(inventory, partitionId, type, walk.doubt)) {
      walk.dropDisk = walk.doubt = true;
      return walk;
    }
    if (!IsUncountedType(type)) walk.counted.emplace_back();
  }
  return walk;
}

bool Connect(platform::DiskInventory& inventory) {
  const platform::HResult security = inventory.InitializeSecurity();
  if (Failed(security) && security != wmi::kRPC_E_TOO_LATE) return false;
  return !Failed(inventory.Connect());
}

/// The USB tests of a disk row: interface and media type, as read into `mediaType`.
bool IsUsbDiskOfAcceptedMedia(platform::InventoryObject& disk, std::wstring& mediaType) {
  std::wstring interfaceType;
  return Read(disk, L"InterfaceType", interfaceType) &&
         text::EqualsIgnoringAsciiCase(interfaceType, L"USB") &&
         Read(disk, L"MediaType", mediaType) && IsAcceptedMediaType(mediaType);
}

uint64_t ParseSize(std::wstring_view text) {
  if (text.empty() || text.size() > 20) return 0;
  uint64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    const uint64_t digit = static_cast<uint64_t>(c - L'0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<uint32_t> DiskNumberOf(std::wstring_view deviceId) {
  constexpr std::wstring_view kPrefix = L"\\\\.\\PHYSICALDRIVE";
  if (deviceId.size() <= kPrefix.size() || deviceId.size() > kPrefix.size() + 9 ||
      !text::EqualsIgnoringAsciiCase(deviceId.substr(0, kPrefix.size()), kPrefix)) {
    return std::nullopt;
  }
  uint32_t number = 0;
  for (const wchar_t c : deviceId.substr(kPrefix.size())) {
    if (c < L'0' || c > L'9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - L'0');
  }
  return number;
}

uint64_t SizeBytesOf(const CVantorEnumUSBDetail& disk) { return ParseSize(disk.size); }

bool PinUsbTarget(const CVantorEnumUSBDetail& disk, UsbTarget& target) {
  target = UsbTarget{};
  const std::optional<uint32_t> number = DiskNumberOf(disk.deviceId);
  if (!number || disk.pnpDeviceId.empty() || !target.pnpDeviceId.Assign(disk.pnpDeviceId)) {
    target.pnpDeviceId.Clear();
    return false;
  }
  target.diskNumber = *number;
  target.sizeBytes = SizeBytesOf(disk);
  target.partitionCount = static_cast<uint32_t>(disk.partitions.size());
  return true;
}

void EnumUSBDisks(platform::DiskInventory& inventory, platform::DeviceTree& devices,
                  std::vector<CVantorEnumUSBDetail>& list) {
  if (!Connect(inventory)) return;
  Inventory queries(inventory);
  Rows disks;
  // Without the complete list of disks no USB disk is listed: a list that may lack one is
  // never shown as if it were all.
  if (!queries.Query(L"Win32_DiskDrive", disks)) return;

  std::vector<CVantorEnumUSBDetail> removable, external;
  for (auto& disk : disks) {
    CVantorEnumUSBDetail detail;
    std::wstring pnpDeviceId, deviceId;
    if (!IsUsbDiskOfAcceptedMedia(*disk, detail.mediaTypeText)) continue;
    if (!Read(*disk, L"Caption", detail.caption) || !Read(*disk, L"Size", detail.size) ||
        !Read(*disk, L"PNPDeviceID", pnpDeviceId)) {
      continue;
    }
    const TreeFindings tree = LookInDeviceTree(devices, pnpDeviceId);
    if (!tree.listed || tree.builtIn) continue;
    if (!Read(*disk, L"DeviceID", deviceId)) continue;
    PartitionWalk walk = WalkPartitions(queries, deviceId);
    if (queries.TimedOut()) return;  // the inventory does not answer: nothing is certain
    if (walk.dropDisk) continue;
    detail.partitions = std::move(walk.counted);
    detail.pnpDeviceId = pnpDeviceId;
    detail.deviceId = deviceId;
    const bool isRemovable =
        text::EqualsIgnoringAsciiCase(detail.mediaTypeText, L"Removable Media");
    (isRemovable ? removable : external).push_back(std::move(detail));
  }
  for (auto* group : {&removable, &external}) {
    for (auto& detail : *group) list.push_back(std::move(detail));
  }
}

UsbDiskInspection InspectUsbDisk(platform::DiskInventory& inventory, platform::DeviceTree& devices,
                                 uint32_t number) {
  UsbDiskInspection inspection;
  if (!Connect(inventory)) return inspection;
  Inventory queries(inventory);
  Rows disks;
  if (!queries.Query(L"Win32_DiskDrive", disks)) return inspection;
  const std::wstring wanted = L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(number);
  for (auto& disk : disks) {
    std::wstring deviceId;
    if (!Read(*disk, L"DeviceID", deviceId) || !text::EqualsIgnoringAsciiCase(deviceId, wanted))
      continue;
    inspection.listed = true;

    std::wstring mediaType, size;
    if (!IsUsbDiskOfAcceptedMedia(*disk, mediaType) ||
        !Read(*disk, L"PNPDeviceID", inspection.pnpDeviceId) || inspection.pnpDeviceId.empty()) {
      return inspection;
    }
    if (Read(*disk, L"Size", size)) inspection.sizeBytes = ParseSize(size);
    const TreeFindings tree = LookInDeviceTree(devices, inspection.pnpDeviceId);
    inspection.qualifies = tree.listed && tree.found && !tree.builtIn && !tree.unreadable;

    const PartitionWalk walk = WalkPartitions(queries, deviceId);
    inspection.complete = !walk.doubt && !walk.dropDisk;
    inspection.letters = walk.letters;
    inspection.partitionCount = static_cast<uint32_t>(walk.counted.size());
    return inspection;
  }
  return inspection;
}

}  // namespace kestrune
