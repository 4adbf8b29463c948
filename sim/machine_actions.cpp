#include "sim/machine_actions.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <fstream>

#include "platform/native_path.h"
#include "sim/seven_zip.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

RecorderDescription* FindRecorder(MachineDescription& machine, char letter) {
  for (auto& recorder : machine.recorders) {
    if (DriveLetter(recorder.letter) == letter) return &recorder;
  }
  return nullptr;
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// A volume that went away: its files are put aside and a plain file takes the folder's place,
// so that a program still writing below the drive root fails as it would on Windows.
void BlockVolume(const Machine& machine, char letter) {
  const fs::path folder = machine.VolumeFolder(letter);
  std::error_code error;
  if (fs::is_directory(folder, error)) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path aside =
        machine.Folder() / "gone" / (std::string(1, letter) + "-" + std::to_string(stamp));
    fs::create_directories(aside.parent_path(), error);
    fs::rename(folder, aside, error);
  }
  std::ofstream(folder) << "This volume is not available.\n";
}

// Changes the recorder at `letter` under the machine's lock; false when the change could not
// be written or no recorder has that letter.
template <typename Change>
bool ModifyRecorder(Machine& machine, char letter, Change change, std::string* error) {
  bool found = false;
  const bool written = machine.Modify(
      [&](MachineDescription& description) {
        RecorderDescription* recorder = FindRecorder(description, letter);
        if (!recorder) return false;
        found = true;
        change(*recorder);
        return true;
      },
      error);
  if (!written) return false;
  if (!found) {
    SetError(error, std::string("no recorder has the letter ") + letter);
    return false;
  }
  return true;
}

}  // namespace

void ClearFolder(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    fs::remove(folder, error);
    fs::create_directories(folder, error);
    return;
  }
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code removeError;
    fs::remove_all(it->path(), removeError);
  }
}

bool InsertDisc(Machine& machine, char letter, const DiscDescription& disc, std::string* error) {
  if (!ModifyRecorder(
          machine, letter,
          [&](RecorderDescription& recorder) {
            recorder.disc = disc;
            ++recorder.discChanges;
          },
          error)) {
    return false;
  }
  ClearFolder(machine.VolumeFolder(letter));
  if (!disc.image.empty()) ExtractImage(machine.Resolve(disc.image), machine.VolumeFolder(letter));
  return true;
}

bool EjectDisc(Machine& machine, char letter, std::string* error) {
  const auto eject = [](RecorderDescription& recorder) {
    recorder.disc.reset();
    if (recorder.feedBlankMediaType) {
      DiscDescription blank;
      blank.mediaType = *recorder.feedBlankMediaType;
      recorder.disc = blank;
    }
    ++recorder.ejectCount;
    ++recorder.discChanges;
  };
  if (!ModifyRecorder(machine, letter, eject, error)) return false;
  ClearFolder(machine.VolumeFolder(letter));
  return true;
}

bool SetDiskPresent(Machine& machine, uint32_t diskNumber, bool present, std::string* error) {
  bool found = false;
  std::vector<char> letters;
  const bool written = machine.Modify(
      [&](MachineDescription& description) {
        for (auto& disk : description.disks) {
          if (disk.number != diskNumber) continue;
          found = true;
          disk.present = present;
          for (const auto& partition : disk.partitions) {
            if (const char letter = DriveLetter(partition.letter)) letters.push_back(letter);
          }
        }
        return found;
      },
      error);
  if (!written) return false;
  if (!found) {
    SetError(error, "no disk " + std::to_string(diskNumber));
    return false;
  }
  for (const char letter : letters) {
    if (present) {
      std::error_code fsError;
      if (!fs::is_directory(machine.VolumeFolder(letter), fsError))
        ClearFolder(machine.VolumeFolder(letter));
    } else {
      BlockVolume(machine, letter);
    }
  }
  return true;
}

void FollowDiskPresence(const Machine& machine, const MachineDescription& before,
                        const MachineDescription& after) {
  const size_t disks = std::min(before.disks.size(), after.disks.size());
  for (const bool pulled : {true, false}) {
    for (size_t i = 0; i < disks; ++i) {
      const bool was = before.disks[i].present, is = after.disks[i].present;
      if (was == is || is == pulled) continue;
      for (const auto& partition : after.disks[i].partitions) {
        const char letter = DriveLetter(partition.letter);
        if (!letter) continue;
        std::error_code error;
        if (pulled) {
          BlockVolume(machine, letter);
        } else if (!fs::is_directory(machine.VolumeFolder(letter), error)) {
          ClearFolder(machine.VolumeFolder(letter));
        }
      }
    }
  }
}

void ApplyVolumeFaults(Machine& machine) {
  std::vector<char> blocked;
  machine.Modify([&](MachineDescription& description) {
    bool changed = false;
    for (auto& disk : description.disks) {
      if (!disk.present) continue;
      uint64_t held = 0;
      for (auto& partition : disk.partitions) {
        const char letter = DriveLetter(partition.letter);
        if (!letter || partition.full) continue;
        const uint64_t bytes = FolderBytes(machine.VolumeFolder(letter));
        held += bytes;
        const uint64_t capacity = partition.sizeBytes;
        if (capacity != 0 && bytes + partition.usedBytes > capacity) {
          partition.full = true;
          blocked.push_back(letter);
          changed = true;
        }
      }
      if (disk.vanishAfterBytes && held > *disk.vanishAfterBytes) {
        disk.present = false;
        for (const auto& partition : disk.partitions) {
          if (const char letter = DriveLetter(partition.letter)) blocked.push_back(letter);
        }
        changed = true;
      }
    }
    return changed;
  });
  for (const char letter : blocked) BlockVolume(machine, letter);
}

void MarkVolumeFull(Machine& machine, char letter) {
  bool found = false;
  machine.Modify([&](MachineDescription& description) {
    for (auto& disk : description.disks) {
      for (auto& partition : disk.partitions) {
        if (disk.present && DriveLetter(partition.letter) == letter && !partition.full) {
          partition.full = found = true;
        }
      }
    }
    return found;
  });
  if (found) BlockVolume(machine, letter);
}

char VolumeLetterOfPath(const Machine& machine, const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':' &&
      (path.size() == 2 || path[2] == L'\\' || path[2] == L'/')) {
    const wchar_t c = path[0];
    if (c >= L'a' && c <= L'z') return static_cast<char>(c - 32);
    if (c >= L'A' && c <= L'Z') return static_cast<char>(c);
  }
  std::error_code error;
  const fs::path absolute = fs::weakly_canonical(platform::ToNativePath(path), error);
  const fs::path volumes = fs::weakly_canonical(machine.Folder() / "volumes", error);
  auto inside = absolute.begin();
  for (auto part = volumes.begin(); part != volumes.end(); ++part, ++inside) {
    if (inside == absolute.end() || *inside != *part) return 0;
  }
  if (inside == absolute.end()) return 0;
  return DriveLetter(inside->string());
}

VolumeFacts FindVolume(const MachineDescription& machine, char letter) {
  VolumeFacts facts;
  for (const auto& recorder : machine.recorders) {
    if (DriveLetter(recorder.letter) != letter) continue;
    facts.exists = true;
    facts.isRecorder = true;
    if (recorder.disc && !recorder.disc->image.empty()) {
      facts.hasMedium = true;
      facts.capacityBytes = recorder.disc->capacityBytes
                                ? recorder.disc->capacityBytes
                                : DefaultDiscCapacity(recorder.disc->mediaType);
      facts.fileSystem = "UDF";
    }
    return facts;
  }
  for (const auto& disk : machine.disks) {
    if (!disk.present) continue;
    for (const auto& partition : disk.partitions) {
      if (DriveLetter(partition.letter) != letter) continue;
      facts.exists = true;
      facts.hasMedium = !partition.full && !partition.fileSystem.empty();
      facts.capacityBytes = partition.sizeBytes;
      facts.extraUsedBytes = partition.usedBytes;
      facts.fileSystem = partition.fileSystem;
      facts.label = partition.label;
      return facts;
    }
  }
  return facts;
}

const FolderQuota* FolderQuotaOf(const MachineDescription& machine,
                                 const std::filesystem::path& path) {
  const std::filesystem::path wanted = path.lexically_normal();
  for (const auto& quota : machine.folderQuotas) {
    const std::filesystem::path folder = std::filesystem::path(quota.folder).lexically_normal();
    const auto [end, ignored] = std::mismatch(folder.begin(), folder.end(), wanted.begin(),
                                              wanted.end());
    if (end == folder.end() || (std::next(end) == folder.end() && end->empty())) return &quota;
  }
  return nullptr;
}

}  // namespace kestrune::sim
