#include "sim/diskpart_standin.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "sim/machine_actions.h"
#include "sim/power_cut.h"
#include "text/ascii_case.h"

namespace kestrune::sim {
namespace {

constexpr uint64_t kMiB = 1024ull * 1024;
constexpr uint64_t kFat32Limit = 32ull * 1024 * kMiB;
constexpr const char* kEol = "\r\n";

std::string Lower(std::string text) { return text::ToAsciiLower(std::move(text)); }

// Splits a script line into words; a double-quoted run is one word without its quotes, so
// label="RECOVERY SET" stays one word.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

// True when `word` is `full` or an abbreviation of it of at least `shortest` characters, as
// diskpart accepts ("sel", "dis", "par", "vol").
bool Is(const std::string& word, const std::string& full, size_t shortest) {
  const std::string lower = Lower(word);
  return lower.size() >= shortest && lower.size() <= full.size() &&
         full.compare(0, lower.size(), lower) == 0;
}

// diskpart's size column: whole units, the largest unit that still shows four digits.
std::string SizeText(uint64_t bytes) {
  static const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  size_t unit = 0;
  while (unit < 4 && bytes >= 10240) bytes /= 1024, ++unit;
  return std::to_string(bytes) + " " + units[unit];
}

struct Failure {
  int code;
  std::string message;
};

class Session {
 public:
  Session(Machine& machine, MachineDescription& description, std::ostream& output)
      : machine_(machine), d_(description), out_(output), run_(++description.diskpartRuns) {}

  // Runs one command; a failure is returned for the caller to report.
  std::optional<Failure> Run(const std::vector<std::string>& w, bool& exit);

  std::vector<std::function<void()>>
      afterwards;  // folder changes, made once the description is saved

 private:
  DiskDescription* Disk() {
    for (auto& disk : d_.disks) {
      if (disk.present && selectedDisk_ && disk.number == *selectedDisk_) return &disk;
    }
    return nullptr;
  }
  PartitionDescription* Partition() {
    DiskDescription* disk = Disk();
    if (!disk || !selectedPartition_ || *selectedPartition_ >= disk->partitions.size())
      return nullptr;
    return &disk->partitions[*selectedPartition_];
  }
  bool LetterInUse(char letter, const PartitionDescription* except) const;
  std::optional<Failure> SelectVolume(const std::string& which);
  std::optional<Failure> DetailVolume();
  std::optional<Failure> ListDisks();
  std::optional<Failure> ListVolumes();
  std::optional<Failure> Clean();
  std::optional<Failure> CreatePartition(const std::vector<std::string>& w);
  std::optional<Failure> Format(const std::vector<std::string>& w);
  std::optional<Failure> Assign(const std::vector<std::string>& w);
  void Say(const std::string& text) { out_ << kEol << text << kEol; }

  Machine& machine_;
  MachineDescription& d_;
  /// diskpart's word for a disk in the machine's language, in code page 437 as "chcp 437"
  /// leaves the console: "Disk", or German "Datenträger".
  const char* DiskWord() const { return d_.diskpartLanguage == "de" ? "Datentr\x84ger" : "Disk"; }
  std::ostream& out_;
  std::optional<uint32_t> selectedDisk_;
  std::optional<size_t> selectedPartition_;
  std::optional<char> selectedRecorderVolume_;
  bool formattedHere_ = false;
  uint32_t run_;  // the number of this run of diskpart on the machine, from 1
};

const Failure kNoDisk{
    diskpart::kCommandFailed,
    "There is no disk selected to perform this operation.\r\nPlease select a disk and try again."};
const Failure kNoVolume{diskpart::kCommandFailed,
                        "There is no volume selected.\r\nPlease select a volume and try again."};
const Failure kNoPartition{
    diskpart::kCommandFailed,
    "There is no partition selected.\r\nPlease select a partition and try again."};

Failure ServiceError(const std::string& text) {
  return {diskpart::kServiceFailed, "Virtual Disk Service error:\r\n" + text};
}

bool Session::LetterInUse(char letter, const PartitionDescription* except) const {
  for (const auto& recorder : d_.recorders) {
    if (DriveLetter(recorder.letter) == letter) return true;
  }
  for (const auto& disk : d_.disks) {
    if (!disk.present) continue;
    for (const auto& partition : disk.partitions) {
      if (&partition != except && DriveLetter(partition.letter) == letter) return true;
    }
  }
  return false;
}

std::optional<Failure> Session::SelectVolume(const std::string& which) {
  const char letter =
      DriveLetter(which.size() == 2 && which[1] == ':' ? which.substr(0, 1) : which);
  size_t number = 0;
  for (const auto& recorder : d_.recorders) {
    if ((letter && DriveLetter(recorder.letter) == letter) ||
        (!letter && which == std::to_string(number))) {
      selectedRecorderVolume_ = DriveLetter(recorder.letter);
      selectedDisk_.reset(), selectedPartition_.reset();
      Say("Volume " + std::to_string(number) + " is the selected volume.");
      return std::nullopt;
    }
    ++number;
  }
  for (const auto& disk : d_.disks) {
    if (!disk.present) continue;
    for (size_t i = 0; i < disk.partitions.size(); ++i) {
      const char own = DriveLetter(disk.partitions[i].letter);
      if ((letter && own == letter) || (!letter && which == std::to_string(number))) {
        selectedRecorderVolume_.reset();
        selectedDisk_ = disk.number, selectedPartition_ = i;
        Say("Volume " + std::to_string(number) + " is the selected volume.");
        return std::nullopt;
      }
      ++number;
    }
  }
  return Failure{diskpart::kCommandFailed,
                 "The volume you selected is not valid or does not exist."};
}

std::optional<Failure> Session::DetailVolume() {
  if (selectedRecorderVolume_) {
    Say("There are no disks attached to this volume.");
  } else {
    DiskDescription* disk = Disk();
    PartitionDescription* partition = Partition();
    if (!disk || !partition) return kNoVolume;
    uint64_t used = 0;
    for (const auto& p : disk->partitions) used = std::max(used, p.offsetBytes + p.sizeBytes);
    char line[120];
    std::snprintf(line, sizeof line, "* %s %-3u  Online         %7s  %7s        %s", DiskWord(),
                  disk->number, SizeText(disk->sizeBytes).c_str(),
                  SizeText(disk->sizeBytes > used ? disk->sizeBytes - used : 0).c_str(),
                  disk->partitionStyle == "GPT" ? "*" : "");
    out_ << kEol << "  " << DiskWord() << " ###  Status         Size     Free     Dyn  Gpt" << kEol
         << "  --------  -------------  -------  -------  ---  ---" << kEol << line << kEol;
    const uint64_t held = partition->letter.empty()
                              ? 0
                              : FolderBytes(machine_.VolumeFolder(DriveLetter(partition->letter)));
    const uint64_t usedBytes = held + partition->usedBytes;
    out_ << kEol << "Read-only              : No" << kEol << "Hidden                 : No" << kEol
         << "No Default Drive Letter: No" << kEol << "Shadow Copy            : No" << kEol
         << "Offline                : No" << kEol << "BitLocker Encrypted    : No" << kEol
         << "Installable            : Yes" << kEol << kEol
         << "Volume Capacity        : " << SizeText(partition->sizeBytes) << kEol
         << "Volume Free Space      : "
         << SizeText(partition->sizeBytes > usedBytes ? partition->sizeBytes - usedBytes : 0)
         << kEol;
  }
  return std::nullopt;
}

std::optional<Failure> Session::ListDisks() {
  out_ << kEol << "  " << DiskWord() << " ###  Status         Size     Free     Dyn  Gpt" << kEol
       << "  --------  -------------  -------  -------  ---  ---" << kEol;
  for (const auto& disk : d_.disks) {
    if (!disk.present) continue;
    char line[120];
    std::snprintf(line, sizeof line, "%c %s %-3u  Online         %7s  %7s",
                  selectedDisk_ == disk.number ? '*' : ' ', DiskWord(), disk.number,
                  SizeText(disk.sizeBytes).c_str(), "0 B");
    out_ << line << kEol;
  }
  return std::nullopt;
}

std::optional<Failure> Session::ListVolumes() {
  out_ << kEol << "  Volume ###  Ltr  Label        Fs     Type        Size" << kEol
       << "  ----------  ---  -----------  -----  ----------  -------" << kEol;
  size_t number = 0;
  for (const auto& recorder : d_.recorders) {
    char line[120];
    std::snprintf(line, sizeof line, "  Volume %-3zu  %-3s               UDF    DVD-ROM", number++,
                  recorder.letter.c_str());
    out_ << line << kEol;
  }
  for (const auto& disk : d_.disks) {
    if (!disk.present) continue;
    for (const auto& p : disk.partitions) {
      char line[160];
      std::snprintf(
          line, sizeof line, "  Volume %-3zu  %-3s  %-11.11s  %-5s  %-10s  %7s", number++,
          p.letter.c_str(), p.label.c_str(), p.fileSystem.empty() ? "RAW" : p.fileSystem.c_str(),
          disk.interfaceType == "USB" ? "Removable" : "Partition", SizeText(p.sizeBytes).c_str());
      out_ << line << kEol;
    }
  }
  return std::nullopt;
}

std::optional<Failure> Session::Clean() {
  DiskDescription* disk = Disk();
  if (!disk) return kNoDisk;
  for (const auto& partition : disk->partitions) {
    if (DriveLetter(partition.letter) == DriveLetter(d_.systemDrive)) {
      return ServiceError(
          "Clean is not allowed on the disk containing the current boot, system, pagefile, "
          "crashdump or hibernation volume.");
    }
  }
  for (const auto& partition : disk->partitions) {
    if (const char letter = DriveLetter(partition.letter)) {
      afterwards.push_back([m = &machine_, letter] {
        std::error_code error;
        std::filesystem::remove_all(m->VolumeFolder(letter), error);
      });
    }
  }
  disk->partitions.clear();
  // A cleaned disk has no partition style; the first partition made on it makes it MBR.
  disk->partitionStyle.clear();
  selectedPartition_.reset();
  // A test's power cut comes once the wipe is on the disk, before anything is built on it.
  afterwards.push_back([] { PowerCutAt(power_cut::kWipe); });
  Say("DiskPart succeeded in cleaning the disk.");
  return std::nullopt;
}

std::optional<Failure> Session::CreatePartition(const std::vector<std::string>& w) {
  if (w.size() < 3 || !Is(w[2], "primary", 3)) {
    return Failure{diskpart::kBadParameters,
                   "The arguments specified for this command are not valid."};
  }
  DiskDescription* disk = Disk();
  if (!disk) return kNoDisk;
  std::optional<uint64_t> sizeMb;
  for (size_t i = 3; i < w.size(); ++i) {
    const std::string word = Lower(w[i]);
    if (word.rfind("size=", 0) == 0) {
      const std::string digits = word.substr(5);
      if (digits.empty() || digits.size() > 12 ||
          digits.find_first_not_of("0123456789") != std::string::npos) {
        return Failure{diskpart::kBadParameters,
                       "The arguments specified for this command are not valid."};
      }
      sizeMb = std::stoull(digits);
    }
  }
  if (disk->partitionStyle.empty()) disk->partitionStyle = "MBR";
  if (disk->partitionStyle == "MBR" && disk->partitions.size() >= 4) {
    return ServiceError("The partition table is full.");
  }
  uint64_t offset = kMiB;
  for (const auto& p : disk->partitions)
    offset = std::max(offset, (p.offsetBytes + p.sizeBytes + kMiB - 1) / kMiB * kMiB);
  const uint64_t free = disk->sizeBytes > offset ? disk->sizeBytes - offset : 0;
  const uint64_t size = sizeMb ? *sizeMb * kMiB : free / kMiB * kMiB;
  if (size == 0 || size > free) {
    return ServiceError("There is not enough usable space for this operation.");
  }
  PartitionDescription partition;
  partition.offsetBytes = offset;
  partition.sizeBytes = size;
  partition.type = disk->partitionStyle == "GPT" ? "GPT: Basic Data" : "Installable File System";
  if (d_.automount) {
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
      if (!LetterInUse(letter, nullptr)) {
        partition.letter = std::string(1, letter);
        afterwards.push_back([m = &machine_, letter] { ClearFolder(m->VolumeFolder(letter)); });
        break;
      }
    }
  }
  disk->partitions.push_back(partition);
  selectedPartition_ = disk->partitions.size() - 1;
  selectedRecorderVolume_.reset();
  Say("DiskPart succeeded in creating the specified partition.");
  return std::nullopt;
}

std::optional<Failure> Session::Format(const std::vector<std::string>& w) {
  PartitionDescription* partition = Partition();
  if (!partition)
    return selectedRecorderVolume_ ? ServiceError("The media is write protected.") : kNoVolume;
  std::string fileSystem = "NTFS", label;
  for (size_t i = 1; i < w.size(); ++i) {
    const std::string word = Lower(w[i]);
    if (word.rfind("fs=", 0) == 0)
      fileSystem = word.substr(3);
    else if (word.rfind("label=", 0) == 0)
      label = w[i].substr(6);
    else if (word != "quick" && word != "noerr" && word != "override") {
      return Failure{diskpart::kBadParameters,
                     "The arguments specified for this command are not valid."};
    }
  }
  fileSystem = text::ToAsciiUpper(std::move(fileSystem));
  if (fileSystem != "FAT32" && fileSystem != "NTFS" && fileSystem != "EXFAT" &&
      fileSystem != "FAT") {
    return ServiceError("The file system is not supported.");
  }
  if (fileSystem == "FAT32" && partition->sizeBytes > kFat32Limit) {
    return ServiceError("The size of the volume is too big.");
  }
  if ((fileSystem == "FAT32" || fileSystem == "FAT") && label.size() > 11) {
    return ServiceError("The volume label is not valid.");
  }
  partition->fileSystem = fileSystem;
  partition->label = label;
  partition->usedBytes = 0;
  partition->full = false;
  if (const char letter = DriveLetter(partition->letter)) {
    afterwards.push_back([m = &machine_, letter] { ClearFolder(m->VolumeFolder(letter)); });
  }
  formattedHere_ = true;
  out_ << kEol << "  100 percent completed" << kEol;
  Say("DiskPart successfully formatted the volume.");
  return std::nullopt;
}

std::optional<Failure> Session::Assign(const std::vector<std::string>& w) {
  PartitionDescription* partition = Partition();
  if (!partition) return kNoVolume;
  char letter = 0;
  for (size_t i = 1; i < w.size(); ++i) {
    const std::string word = Lower(w[i]);
    if (word.rfind("letter=", 0) == 0) {
      std::string value = word.substr(7);
      if (value.size() == 2 && value[1] == ':') value.resize(1);
      letter = DriveLetter(value);
      if (!letter)
        return Failure{diskpart::kBadParameters,
                       "The arguments specified for this command are not valid."};
    }
  }
  if (!letter) {
    for (char candidate = 'D'; candidate <= 'Z' && !letter; ++candidate) {
      if (!LetterInUse(candidate, partition)) letter = candidate;
    }
  }
  if (!letter || LetterInUse(letter, partition)) {
    return ServiceError("The specified drive letter is not free to be assigned.");
  }
  const char old = DriveLetter(partition->letter);
  const bool fresh = formattedHere_;
  afterwards.push_back([m = &machine_, old, letter, fresh] {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = m->VolumeFolder(letter);
    if (old && old != letter && fs::is_directory(m->VolumeFolder(old), error) && !fresh) {
      fs::remove_all(target, error);
      fs::rename(m->VolumeFolder(old), target, error);
    } else {
      if (old && old != letter) fs::remove_all(m->VolumeFolder(old), error);
      if (fresh || !fs::is_directory(target, error)) ClearFolder(target);
    }
  });
  partition->letter = std::string(1, letter);
  Say("DiskPart successfully assigned the drive letter or mount point.");
  return std::nullopt;
}

std::optional<Failure> Session::Run(const std::vector<std::string>& w, bool& exit) {
  const std::string verb = Lower(w[0]);
  const std::string failing = Lower(d_.faults.diskpartFailCommand);
  const bool failingRun = d_.faults.diskpartFailRun == 0 || d_.faults.diskpartFailRun == run_;
  if (!failing.empty() && failingRun &&
      (failing == "*" || Is(verb, failing, 1) || Is(failing, verb, 1))) {
    return ServiceError("The device is not ready.");
  }
  const std::string object = w.size() > 1 ? w[1] : "";
  if (Is(verb, "select", 3)) {
    if (w.size() < 3)
      return Failure{diskpart::kBadParameters,
                     "The arguments specified for this command are not valid."};
    if (Is(object, "volume", 3)) return SelectVolume(w[2]);
    if (Is(object, "disk", 3)) {
      for (const auto& disk : d_.disks) {
        if (disk.present && std::to_string(disk.number) == w[2]) {
          selectedDisk_ = disk.number;
          selectedPartition_.reset(), selectedRecorderVolume_.reset();
          Say("Disk " + w[2] + " is now the selected disk.");
          return std::nullopt;
        }
      }
      selectedDisk_.reset();
      return Failure{diskpart::kCommandFailed,
                     "The disk you specified is not valid.\r\n\r\nThere is no disk selected."};
    }
    if (Is(object, "partition", 3)) {
      DiskDescription* disk = Disk();
      if (!disk) return kNoDisk;
      const std::string& n = w[2];
      if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos ||
          std::stoul(n) == 0 || std::stoul(n) > disk->partitions.size()) {
        return Failure{diskpart::kCommandFailed,
                       "The specified partition is not valid.\r\nPlease select a valid partition."};
      }
      selectedPartition_ = std::stoul(n) - 1;
      Say("Partition " + n + " is now the selected partition.");
      return std::nullopt;
    }
  } else if (Is(verb, "detail", 3) && Is(object, "volume", 3)) {
    return DetailVolume();
  } else if (Is(verb, "list", 4) && Is(object, "disk", 3)) {
    return ListDisks();
  } else if (Is(verb, "list", 4) && Is(object, "volume", 3)) {
    return ListVolumes();
  } else if (Is(verb, "clean", 5)) {
    return Clean();
  } else if (Is(verb, "automount", 9) &&
             (Lower(object) == "enable" || Lower(object) == "disable")) {
    d_.automount = Lower(object) == "enable";
    Say(std::string("Automatic mounting of new volumes ") +
        (d_.automount ? "enabled." : "disabled."));
    return std::nullopt;
  } else if (Is(verb, "create", 3) && Is(object, "partition", 3)) {
    return CreatePartition(w);
  } else if (Is(verb, "online", 6) && Is(object, "volume", 3)) {
    if (!Partition()) return kNoVolume;
    Say("DiskPart successfully onlined the selected volume.");
    return std::nullopt;
  } else if (Is(verb, "inactive", 3)) {
    PartitionDescription* partition = Partition();
    if (!partition) return kNoPartition;
    partition->active = false;
    Say("DiskPart marked the current partition as inactive.");
    return std::nullopt;
  } else if (Is(verb, "active", 3)) {
    DiskDescription* disk = Disk();
    PartitionDescription* partition = Partition();
    if (!partition) return kNoPartition;
    if (disk->partitionStyle == "GPT") {
      return ServiceError(
          "The selected disk is not a fixed MBR disk.\r\nThe ACTIVE command can only be used on "
          "fixed MBR disks.");
    }
    for (auto& p : disk->partitions) p.active = &p == partition;
    Say("DiskPart marked the current partition as active.");
    return std::nullopt;
  } else if (Is(verb, "format", 6)) {
    return Format(w);
  } else if (Is(verb, "assign", 3)) {
    return Assign(w);
  } else if (Is(verb, "exit", 4)) {
    exit = true;
    return std::nullopt;
  } else if (Is(verb, "rem", 3)) {
    return std::nullopt;
  }
  return Failure{diskpart::kCommandFailed,
                 "The command or its arguments are not recognized: " + w[0]};
}

}  // namespace

int RunDiskpartScript(Machine& machine, const std::string& script, std::ostream& output) {
  ApplyVolumeFaults(machine);
  int code = diskpart::kOk;
  std::vector<std::function<void()>> afterwards;
  MachineDescription before;
  machine.Read(before);
  // A slow run takes its time before it takes the machine's lock, as the disk service would;
  // meanwhile diskpartHeld names it, so that a test knows the run is under way.
  if (before.faults.diskpartSlowRun != 0 &&
      before.faults.diskpartSlowRun == before.diskpartRuns + 1) {
    machine.Modify([&](MachineDescription& description) {
      description.diskpartHeld = before.diskpartRuns + 1;
      return true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(before.faults.diskpartSlowMs));
  }
  output << kEol << "Microsoft DiskPart version 10.0.19041.3636" << kEol << kEol
         << "Copyright (C) Microsoft Corporation." << kEol << "On computer: " << before.computerName
         << kEol;
  // The folder side of the field changes, in order around the session's own.
  std::function<void()> startingFolders, afterFolders;
  const auto change = [&](MachineDescription& description,
                          const std::map<std::string, std::string>& fields) {
    const MachineDescription from = description;
    // A copy: setting a field replaces the description that `fields` lives in.
    const std::map<std::string, std::string> changes = fields;
    for (const auto& [pointer, value] : changes) {
      std::string error;
      if (!SetDescriptionField(description, pointer, value, error)) {
        output << kEol << "kestrune-cmd: " << error << kEol;
      }
    }
    return [&machine, from, to = description] { FollowDiskPresence(machine, from, to); };
  };
  const bool saved = machine.Modify([&](MachineDescription& description) {
    description.diskpartHeld = 0;
    // Something happening to the machine just as this run starts (a stick swapped for
    // another, disks renumbered): after the program's last look, before diskpart acts.
    const auto starting =
        description.faults.changesWhenDiskpartRunStarts.find(description.diskpartRuns + 1);
    if (starting != description.faults.changesWhenDiskpartRunStarts.end()) {
      startingFolders = change(description, starting->second);
    }
    Session session(machine, description, output);
    std::istringstream lines(script);
    std::string line;
    bool exit = false;
    while (!exit && std::getline(lines, line)) {
      const auto words = Words(line);
      if (words.empty()) continue;
      const bool noerr = std::any_of(words.begin(), words.end(),
                                     [](const std::string& w) { return Lower(w) == "noerr"; });
      if (const auto failure = session.Run(words, exit)) {
        output << kEol << failure->message << kEol;
        if (!noerr) {
          code = failure->code;
          break;
        }
      }
    }
    afterwards = std::move(session.afterwards);
    const auto changes = description.faults.changesAfterDiskpartRun.find(description.diskpartRuns);
    if (changes != description.faults.changesAfterDiskpartRun.end()) {
      afterFolders = change(description, changes->second);
    }
    return true;
  });
  if (!saved) return diskpart::kServiceFailed;
  if (startingFolders) startingFolders();
  for (const auto& folders : afterwards) folders();
  if (afterFolders) afterFolders();
  if (code == diskpart::kOk) output << kEol << "Leaving DiskPart..." << kEol;
  return code;
}

}  // namespace kestrune::sim
