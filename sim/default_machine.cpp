#include "sim/default_machine.h"

#include "sim/registry_hive.h"

namespace kestrune::sim {

namespace {
constexpr uint64_t kMiB = 1024ull * 1024;
}

MachineDescription DefaultMachineDescription() {
  MachineDescription machine;
  machine.currentUser = "Kestrel";

  UserDescription user;
  user.name = "Kestrel";
  user.sid = "S-1-5-21-3623811015-3361044348-30300820-1001";
  user.profileFolder = "Kestrel";
  // The person at the computer, who runs the program: Windows holds this hive loaded.
  user.interactive = true;
  machine.users.push_back(user);

  RecorderDescription recorder;
  recorder.letter = "E";
  recorder.uniqueId =
      "\\\\?\\scsi#cdrom&ven_kestrune&prod_dvd-rw_sim_24x#4&2a6f3b1&0&010000#"
      "{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";
  recorder.feedBlankMediaType = 11;
  recorder.disc = DiscDescription{};
  machine.recorders.push_back(recorder);

  DiskDescription system;
  system.number = 0;
  system.caption = "KESTRUNE SIMDISK 512GB";
  system.interfaceType = "IDE";
  system.mediaType = "Fixed hard disk media";
  system.pnpDeviceId = "SCSI\\DISK&VEN_KESTRUNE&PROD_SIMDISK\\4&2A6F3B1&0&000000";
  system.parentInstanceId = "PCI\\VEN_8086&DEV_A352&SUBSYS_00000000&REV_10\\3&11583659&0&B8";
  system.parentContainerId = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";
  system.sizeBytes = 512'110'190'592;
  PartitionDescription c;
  c.sizeBytes = system.sizeBytes - 2 * kMiB;
  c.active = true;
  c.letter = "C";
  c.fileSystem = "NTFS";
  c.label = "Windows";
  c.usedBytes = 120'000'000'000;
  system.partitions.push_back(c);
  machine.disks.push_back(system);

  DiskDescription stick;
  stick.number = 1;
  stick.caption = "Kestrune SimStick USB Device";
  stick.interfaceType = "USB";
  stick.mediaType = "Removable Media";
  stick.pnpDeviceId = "USBSTOR\\DISK&VEN_KESTRUNE&PROD_SIMSTICK&REV_1.00\\0123456789ABCDEF&0";
  stick.parentInstanceId = "USB\\VID_2E8A&PID_0001\\0123456789ABCDEF";
  stick.parentContainerId = "{6c3e5a0b-8f2d-5c4e-9a1b-3d7f0e2c4b68}";
  stick.sizeBytes = 32'015'679'488;
  stick.writeBytesPerSecond = 30'000'000;
  PartitionDescription f;
  f.sizeBytes = stick.sizeBytes - kMiB;
  f.letter = "F";
  f.fileSystem = "FAT32";
  f.label = "SIMSTICK";
  stick.partitions.push_back(f);
  machine.disks.push_back(stick);
  return machine;
}

bool WriteDefaultHive(const Machine& machine, const UserDescription& user) {
  const auto folder = machine.Folder() / "users" / user.profileFolder;
  const auto file = folder / "ntuser.dat";
  std::error_code error;
  if (std::filesystem::exists(file, error)) return true;
  std::filesystem::create_directories(folder, error);
  RegistryHive hive;
  hive.AddKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers");
  hive.AddKey(
      "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer")["NoDriveTypeAutoRun"] =
      0x91u;
  return hive.Save(file);
}

bool CreateDefaultMachine(Machine& machine, std::string* error) {
  const MachineDescription description = DefaultMachineDescription();
  std::error_code fsError;
  std::filesystem::create_directories(machine.Folder(), fsError);
  for (const auto& user : description.users) {
    if (!WriteDefaultHive(machine, user)) {
      if (error) *error = "cannot write the hive of " + user.name;
      return false;
    }
  }
  return machine.Create(description, error, true);
}

}  // namespace kestrune::sim
