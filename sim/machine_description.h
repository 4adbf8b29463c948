#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::sim {

/// The content of a simulated machine's description file (machine.json), the one record all
/// processes share. Texts are UTF-8 as in the file. sim/README.md documents every field; the
/// reader fills absent fields with the defaults below, so a hand-written file may be short.

/// Call name -> result code to answer instead ("InitializeDiscRecorder": "0xC0AA02FF").
using FailedCalls = std::map<std::string, uint32_t>;

struct DiscDescription {
  uint32_t mediaType = 11;         // IMAPI_MEDIA_PHYSICAL_TYPE; 11 = DVD-R DL
  std::string state = "blank";     // "blank", "appendable" or "closed"
  bool damaged = false;            // status bit 0x400
  uint64_t capacityBytes = 0;      // 0: the usual capacity of the media type
  std::string image;               // machine-relative file holding what was written, or ""
  std::optional<uint32_t> status;  // replaces the computed status bits
  std::optional<std::vector<uint32_t>> profiles;  // replaces the profiles of the media type
};

/// What the program asked of the last write on a recorder, and how it went: the settings the
/// writer held when `Write` was called, the size of the image, the result and how many
/// progress events of each action (index = action code 0 to 7) it reported.
struct WriteRecord {
  std::string clientName;
  uint32_t writeSpeed = 0;  // sectors per second requested (0xFFFFFFFF: the highest)
  bool pureCav = false;     // rotation type requested
  uint32_t verificationLevel = 0;
  bool forceMediaToBeClosed = false;
  bool forceOverwrite = false;
  uint64_t imageBytes = 0;
  uint32_t result = 0;
  std::vector<uint32_t> actions = std::vector<uint32_t>(8, 0);
};

struct RecorderDescription {
  std::string uniqueId;
  std::string letter = "E";
  std::optional<std::vector<std::string>> volumePaths;  // default: { "<letter>:\" }
  std::string vendorId = "KESTRUNE";
  std::string productId = "DVD-RW SIM 24X  ";
  std::vector<uint32_t> supportedMediaTypes = {2, 3, 6, 7, 8, 9, 10, 11, 13, 18};
  uint64_t writeBytesPerSecond = 11'080'000;  // 8x DVD
  uint32_t eventIntervalMs = 250;             // time between two progress events
  bool announceInitialization = true;         // write starts with actions 0 and 2
  bool announceFormatting = false;            // ... and 1 (formatting media) after 0
  bool announceCalibration = false;           // ... and 3 (calibrating power) before 4
  bool pureCav = false;
  std::optional<uint32_t> feedBlankMediaType;  // after each eject a blank disc of this type
  std::optional<DiscDescription> disc;
  // Faults.
  bool noAnswer = false;           // every call after the unique id times out
  bool flipByteAfterBurn = false;  // one byte of one readable file differs after a burn
  FailedCalls failCalls;
  // State.
  uint32_t ejectCount = 0;
  uint32_t discChanges = 0;  // counts every insert and eject: a write sees its disc swapped
  uint32_t writeCount = 0;   // Write calls that reached the drive
  std::optional<WriteRecord> lastWrite;
};

struct PartitionDescription {
  uint64_t offsetBytes = 1 << 20;
  uint64_t sizeBytes = 0;
  std::string type = "Installable File System";  // Win32_DiskPartition.Type
  bool active = false;
  std::string letter;      // "" = none
  std::string fileSystem;  // "" = not formatted
  std::string label;
  uint64_t usedBytes = 0;  // counted as used beyond what the volume folder holds
  bool full = false;       // state: writes overflowed the capacity (the volume is unusable)
  // Faults of the inventory rows that describe this partition.
  std::vector<std::string> failProperties;  // "Class.Property" reads that fail
  std::vector<std::string> omitRows;        // classes whose row for it is missing
};

struct DiskDescription {
  uint32_t number = 1;  // \\.\PHYSICALDRIVE<n>, diskpart's "Disk n"
  std::string caption = "Kestrune SimStick USB Device";
  std::string interfaceType = "USB";
  std::string mediaType = "Removable Media";
  std::string pnpDeviceId;
  std::string parentInstanceId;
  std::optional<std::string> parentContainerId;  // absent: the property cannot be read
  bool parentReadable = true;
  uint64_t sizeBytes = 0;
  std::string partitionStyle = "MBR";  // "MBR", "GPT", or "" (none: cleaned)
  std::vector<PartitionDescription> partitions;
  bool present = true;
  uint64_t writeBytesPerSecond = 0;  // speed of writes onto its volumes; 0 = unlimited
  // Faults.
  bool inDeviceTree = true;                  // false: the device tree does not list it
  std::vector<std::string> failProperties;   // inventory reads of these properties fail
  std::vector<std::string> nullProperties;   // ... read as null (empty text)
  std::optional<uint64_t> vanishAfterBytes;  // disk goes away once its volumes hold more
  bool flipByteAfterUnpack = false;          // one byte of the largest file 7-Zip unpacked differs
};

struct UserDescription {
  std::string name;
  std::string sid;
  std::string profileFolder;  // folder below users/; default: the name
  bool loggedOn = true;
  uint32_t sessions = 1;  // times the enumeration lists the user
  // Logged on at the console (with loggedOn): the system holds the hive loaded below the SID,
  // where OpenUserKey finds it; it cannot be mounted or unmounted by a program meanwhile.
  bool interactive = false;
  // Fault: keys of the hive (paths as in registry_hive.h) whose access control list keeps the
  // program out: OpenUserKey of them fails with 5, wherever the hive is mounted.
  std::vector<std::string> deniedKeys;
};

struct MachineFaults {
  std::string diskpartFailCommand;  // the first diskpart command with this name fails ("*": any)
  uint32_t diskpartFailRun = 0;     // ... only in this run of diskpart (counted in diskpartRuns)
  // After the diskpart run with this number, these fields change (JSON pointer -> JSON text,
  // as SetDescriptionField takes them): a disk swapped or turned internal behind its number.
  std::map<uint32_t, std::map<std::string, std::string>> changesAfterDiskpartRun;
  // ... and just as the run with this number starts, before its first command.
  std::map<uint32_t, std::map<std::string, std::string>> changesWhenDiskpartRunStarts;
  // The run with this number takes this long before its first command (a slow disk service).
  uint32_t diskpartSlowRun = 0;
  uint32_t diskpartSlowMs = 0;
  // After the 7-Zip unpacking onto a volume of the machine with this number (counted in
  // `unpacks`), these fields change, as above: a stick pulled between two images.
  std::map<uint32_t, std::map<std::string, std::string>> changesAfterUnpack;
  uint32_t inventorySecurity = 0;                 // result of InitializeSecurity
  uint32_t inventoryConnect = 0;                  // result of Connect
  std::vector<std::string> inventoryFailQueries;  // classes whose queries fail
  // The enumeration of a query of these classes fails after this many rows.
  std::map<std::string, uint32_t> inventoryFailAfterRows;
  // A query of these classes answers only after this many milliseconds ...
  std::map<std::string, uint32_t> inventoryDelayMs;
  // ... and the inventory waits this long for an answer (the port's kQueryTimeoutMs) before
  // it gives up with kE_TIMED_OUT; tests make it short.
  uint32_t inventoryTimeoutMs = 30'000;
  bool deviceListFails = false;
  uint32_t userEnumeration = 0;     // error code of the user enumeration
  uint32_t unloadHiveFailures = 0;  // the next this many hive unloads fail (access denied)
  FailedCalls discService;          // GetRecorderCount, GetRecorderUniqueId, Create...
};

/// A folder of the computer itself (outside the machine's volumes, such as the image folder)
/// that behaves as a volume of `capacityBytes`: its free space is that less what the folder
/// holds, and 7-Zip unpacking into it fails once it is full.
struct FolderQuota {
  std::string folder;  // an absolute path of this computer
  uint64_t capacityBytes = 0;
};

struct MachineDescription {
  std::string computerName = "KESTRUNE-SIM";
  std::string windowsVersion = "10.0";
  std::string systemDrive = "C";  // the volume Windows lives on
  // The user's AutoRun command of the command interpreter (HKCU\Software\Microsoft\Command
  // Processor\AutoRun): cmd runs it before its /C command unless it was given /D.
  std::string cmdAutoRun;
  // The language diskpart answers in: "en", or "de" (German words, as a German Windows).
  std::string diskpartLanguage = "en";
  std::string currentUser;
  bool restorePrivilegeHeld = true;   // the process may switch on SeRestorePrivilege
  uint32_t userEnumerationBatch = 0;  // names per enumeration answer; 0 = all at once
  std::vector<UserDescription> users;
  std::vector<RecorderDescription> recorders;
  std::vector<DiskDescription> disks;
  std::vector<FolderQuota> folderQuotas;
  MachineFaults faults;
  // State.
  bool automount = true;
  std::map<std::string, std::string> loadedHives;  // HKEY_USERS subkey -> hive file
  uint32_t discsWritten = 0;
  uint32_t diskpartRuns = 0;
  uint32_t diskpartHeld = 0;  // the slow run (faults.diskpartSlowRun) while it waits, else 0
  uint32_t unpacks = 0;       // 7-Zip unpackings onto a volume of the machine so far
  /// Files the program asked to delete at the next restart, in the order asked (the same
  /// file may be asked for more than once). The simulated machine never restarts.
  std::vector<std::string> pendingRestartDeletes;
};

/// Reads a description from JSON text. False with a message on text that is not JSON or
/// whose fields have the wrong types; absent fields keep their defaults.
bool ParseMachineDescription(const std::string& text, MachineDescription& machine,
                             std::string& error);
/// JSON text of `machine`, indented for people to read and edit.
std::string FormatMachineDescription(const MachineDescription& machine);

/// Sets the field that the JSON pointer `pointer` names ("/disks/1/present",
/// "/faults/diskpartFailCommand") to `value`: JSON text ("true", "3", "[\"clean\"]",
/// "null"), or any other text as a string. The field must exist in the description as
/// FormatMachineDescription writes it, and the result must still be a valid description.
/// False with a message otherwise, leaving `machine` unchanged.
bool SetDescriptionField(MachineDescription& machine, const std::string& pointer,
                         const std::string& value, std::string& error);
/// The JSON text of the field `pointer` names. False with a message when there is none.
bool GetDescriptionField(const MachineDescription& machine, const std::string& pointer,
                         std::string& value, std::string& error);

/// Capacity of a disc of `mediaType` in bytes, when the disc does not state its own.
uint64_t DefaultDiscCapacity(uint32_t mediaType);

}  // namespace kestrune::sim
