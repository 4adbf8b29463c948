#include "sim/seven_zip_standin.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/host/host_process_launcher.h"
#include "platform/native_path.h"
#include "sim/machine_actions.h"
#include "sim/machine_location.h"
#include "sim/power_cut.h"
#include "sim/seven_zip.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

constexpr int kFatalError = 2;

// The disk behind a volume letter and what the write may still add before a limit is hit.
struct Target {
  uint64_t bytesPerSecond = 0;
  uint64_t capacityRoom = 0;           // bytes until the volume is full
  std::optional<uint64_t> vanishRoom;  // bytes the disk takes before it goes away
  bool flipByteAfterUnpack = false;
  std::string device;  // the disk's instance id
};

bool DescribeTarget(Machine& machine, char letter, Target& target) {
  MachineDescription description;
  if (!machine.Read(description)) return false;
  for (const auto& disk : description.disks) {
    if (!disk.present) continue;
    uint64_t diskHeld = 0;
    const PartitionDescription* mine = nullptr;
    for (const auto& partition : disk.partitions) {
      const char own = DriveLetter(partition.letter);
      if (!own) continue;
      const uint64_t held = FolderBytes(machine.VolumeFolder(own));
      diskHeld += held;
      if (own == letter) {
        mine = &partition;
        const uint64_t used = held + partition.usedBytes;
        target.capacityRoom = used < partition.sizeBytes ? partition.sizeBytes - used : 0;
      }
    }
    if (!mine) continue;
    if (mine->full || mine->fileSystem.empty()) return false;
    if (disk.vanishAfterBytes) {
      target.vanishRoom = diskHeld < *disk.vanishAfterBytes ? *disk.vanishAfterBytes - diskHeld : 0;
    }
    target.bytesPerSecond = disk.writeBytesPerSecond;
    target.flipByteAfterUnpack = disk.flipByteAfterUnpack;
    target.device = disk.pnpDeviceId;
    return true;
  }
  return false;
}

// Whether the disk a copy began on is still plugged in at its letter: a stick pulled meanwhile
// fails the write at once, as the handle 7-Zip writes through would, even when another disk
// has taken the letter since.
bool StillThere(Machine& machine, char letter, const std::string& device) {
  MachineDescription description;
  if (!machine.Read(description)) return false;
  for (const auto& disk : description.disks) {
    if (!disk.present || disk.pnpDeviceId != device) continue;
    for (const auto& partition : disk.partitions) {
      if (DriveLetter(partition.letter) == letter) return !partition.full;
    }
  }
  return false;
}

// Counts an unpacking onto a volume of the machine and makes the changes the faults tie to it.
void CountUnpack(Machine& machine) {
  MachineDescription from, to;
  machine.Modify([&](MachineDescription& description) {
    from = description;
    ++description.unpacks;
    const auto changes = description.faults.changesAfterUnpack.find(description.unpacks);
    if (changes != description.faults.changesAfterUnpack.end()) {
      const auto fields = changes->second;
      for (const auto& [pointer, value] : fields) {
        std::string error;
        static_cast<void>(SetDescriptionField(description, pointer, value, error));
      }
    }
    to = description;
    return true;
  });
  FollowDiskPresence(machine, from, to);
}

// The disk's fault flipByteAfterUnpack: the medium spoils a file after it was written.
void FlipMiddleByte(const fs::path& file, uint64_t size) {
  std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
  const auto offset = static_cast<std::streamoff>(size / 2);
  char byte = 0;
  stream.seekg(offset);
  stream.read(&byte, 1);
  byte = static_cast<char>(byte ^ 0xFF);
  stream.seekp(offset);
  stream.write(&byte, 1);
}

// Copies the unpacked tree onto the volume at the disk's pace, stopping at its limit.
int CopyOnto(Machine& machine, char letter, const fs::path& staging, const fs::path& destination,
             Target target, std::ostream& errors) {
  const auto start = std::chrono::steady_clock::now();
  uint64_t written = 0;
  fs::path largest;
  uint64_t largestSize = 0;
  std::vector<char> buffer(1 << 20);
  std::error_code error;
  for (fs::recursive_directory_iterator it(staging, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path to = destination / fs::relative(it->path(), staging, error);
    if (letter != 0 && !StillThere(machine, letter, target.device)) {
      errors << "ERROR: " << to.string() << "\nThe device is not ready.\n";
      return kFatalError;
    }
    if (it->is_directory()) {
      fs::create_directories(to, error);
      if (error) break;
      continue;
    }
    std::error_code sizeError;
    const auto replaced = fs::is_regular_file(to, sizeError) ? fs::file_size(to, sizeError) : 0;
    if (!sizeError) {
      target.capacityRoom += replaced;
      if (target.vanishRoom) *target.vanishRoom += replaced;
    }
    std::error_code fileSizeError;
    const uint64_t size = it->file_size(fileSizeError);
    if (!fileSizeError && size > largestSize) largest = to, largestSize = size;
    std::ifstream in(it->path(), std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out) {
      errors << "ERROR: " << to.string() << "\nThe device is not ready.\n";
      return kFatalError;
    }
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      auto n = static_cast<uint64_t>(in.gcount());
      if (n == 0) break;
      if (n > target.capacityRoom) {
        out.write(buffer.data(), static_cast<std::streamsize>(target.capacityRoom));
        out.close();
        if (letter != 0) MarkVolumeFull(machine, letter);
        errors << "ERROR: " << to.string() << "\nThere is not enough space on the disk.\n";
        return kFatalError;
      }
      out.write(buffer.data(), static_cast<std::streamsize>(n));
      target.capacityRoom -= n;
      written += n;
      if (target.vanishRoom && n > *target.vanishRoom) {
        out.close();
        ApplyVolumeFaults(machine);
        errors << "ERROR: " << to.string() << "\nThe device is not ready.\n";
        return kFatalError;
      }
      if (target.vanishRoom) *target.vanishRoom -= n;
      if (!out || (letter != 0 && !StillThere(machine, letter, target.device))) {
        errors << "ERROR: " << to.string() << "\nThe device is not ready.\n";
        return kFatalError;
      }
      if (target.bytesPerSecond != 0) {
        out.flush();
        std::this_thread::sleep_until(
            start + std::chrono::microseconds(written * 1'000'000 / target.bytesPerSecond));
      }
    }
    out.close();
    if (letter != 0) PowerCutAt(power_cut::kUnpack);  // one file on the volume, more to come
  }
  if (error) {
    errors << "ERROR: " << destination.string() << "\nThe device is not ready.\n";
    return kFatalError;
  }
  if (target.flipByteAfterUnpack && largestSize > 0) FlipMiddleByte(largest, largestSize);
  return 0;
}

MachineDescription ReadDescription(Machine& machine) {
  MachineDescription description;
  machine.Read(description);
  return description;
}

// Whether the archive the command names (its first word that is no switch) is no larger than
// the room left on the volume: an image unpacks to at most its own size.
bool FitsWhole(const std::vector<std::string>& arguments, const Target& target) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].empty() || arguments[i][0] == '-') continue;
    std::error_code error;
    const uint64_t size = fs::file_size(arguments[i], error);
    return !error && size <= target.capacityRoom &&
           (!target.vanishRoom || size <= *target.vanishRoom);
  }
  return false;
}

// Loads the codec library "7z.dll" from the program's own folder, as the Windows 7z.exe does:
// a library that holds code (here: an executable file) runs that code in this process, with
// this process's rights. The host build's own 7z.dll is plain data.
void LoadCodecLibrary() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return;
  const fs::path library = self.parent_path() / "7z.dll";
  const auto status = fs::status(library, error);
  if (error || !fs::is_regular_file(status)) return;
  if ((status.permissions() & fs::perms::owner_exec) == fs::perms::none) return;
  static_cast<void>(platform::host::RunQuietly({library.string()}));
}

}  // namespace

int RunSevenZipStandIn(const std::vector<std::string>& arguments, std::ostream& output,
                       std::ostream& errors) {
  LoadCodecLibrary();
  const bool unpacks = !arguments.empty() && (arguments[0] == "x" || arguments[0] == "e");
  size_t outputSwitch = arguments.size();
  for (size_t i = 1; unpacks && i < arguments.size(); ++i) {
    if (arguments[i].rfind("-o", 0) == 0) outputSwitch = i;
  }
  const fs::path folder = HostMachineFolder();
  std::unique_ptr<Machine> machine;
  char letter = 0;
  if (outputSwitch < arguments.size() && !folder.empty()) {
    machine = std::make_unique<Machine>(folder);
    if (machine->Exists()) {
      letter =
          VolumeLetterOfPath(*machine, platform::FromNativePath(arguments[outputSwitch].substr(2)));
    }
  }
  // A folder of the computer with a quota of its own fills up as a volume would.
  if (!letter && machine && machine->Exists()) {
    const MachineDescription description = ReadDescription(*machine);
    const fs::path destination = arguments[outputSwitch].substr(2);
    if (const FolderQuota* quota = FolderQuotaOf(description, destination)) {
      const uint64_t held = FolderBytes(quota->folder);
      Target target;
      target.capacityRoom = held < quota->capacityBytes ? quota->capacityBytes - held : 0;
      const fs::path staging = machine->Folder() / "staging" / std::to_string(::getpid());
      std::error_code error;
      fs::remove_all(staging, error);
      fs::create_directories(staging, error);
      std::vector<std::string> unpack = arguments;
      unpack[outputSwitch] = "-o" + staging.string();
      int code = RunSevenZip(unpack);
      if (code == 0) code = CopyOnto(*machine, 0, staging, destination, target, errors);
      fs::remove_all(staging, error);
      if (code == 0) output << "Everything is Ok\n";
      return code;
    }
  }
  if (!letter && PowerCutArmed(power_cut::kCompare)) {
    const int code = RunSevenZip(arguments);
    PowerCutAt(power_cut::kCompare);
    return code;
  }
  if (!letter) {
    std::vector<std::string> all{SevenZipProgram()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    output.flush();
    ::execvp(argv[0], argv.data());
    errors << "kestrune-7z: cannot run " << all[0] << "\n";
    return kFatalError;
  }

  ApplyVolumeFaults(*machine);
  std::string requested = arguments[outputSwitch].substr(2);
  const bool driveForm = requested.size() >= 2 && requested[1] == ':';
  fs::path destination = driveForm ? machine->VolumeFolder(letter) : fs::path(requested);
  if (driveForm && requested.size() > 3) {
    std::string rest = requested.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    destination /= rest;
  }
  Target target;
  std::error_code error;
  if (!DescribeTarget(*machine, letter, target) ||
      !fs::is_directory(machine->VolumeFolder(letter), error)) {
    errors << "ERROR: " << requested << "\nThe device is not ready.\n";
    return kFatalError;
  }
  // The flipped byte needs to know what was written, so that fault takes the staged way.
  if (target.bytesPerSecond == 0 && !target.flipByteAfterUnpack && FitsWhole(arguments, target)) {
    // No pacing and room for the whole archive: 7-Zip writes onto the volume itself, so the
    // space used grows as it would on a stick.
    std::vector<std::string> unpack = arguments;
    unpack[outputSwitch] = "-o" + destination.string();
    int code = RunSevenZip(unpack);
    PowerCutAt(power_cut::kUnpack);
    ApplyVolumeFaults(*machine);
    const VolumeFacts after = FindVolume(ReadDescription(*machine), letter);
    if (code == 0 && !after.hasMedium) {
      errors << "ERROR: " << requested
             << (after.exists ? "\nThere is not enough space on the disk.\n"
                              : "\nThe device is not ready.\n");
      code = kFatalError;
    }
    CountUnpack(*machine);
    if (code == 0) output << "Everything is Ok\n";
    return code;
  }
  const fs::path staging = machine->Folder() / "staging" / std::to_string(::getpid());
  fs::remove_all(staging, error);
  fs::create_directories(staging, error);
  std::vector<std::string> unpack = arguments;
  unpack[outputSwitch] = "-o" + staging.string();
  int code = RunSevenZip(unpack);
  if (code == 0) {
    code = CopyOnto(*machine, letter, staging, destination, target, errors);
  } else {
    errors << "kestrune-7z: 7-Zip ended with code " << code << "\n";
  }
  fs::remove_all(staging, error);
  ApplyVolumeFaults(*machine);
  CountUnpack(*machine);
  if (code == 0) output << "Everything is Ok\n";
  return code;
}

}  // namespace kestrune::sim
