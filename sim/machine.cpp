#include "sim/machine.h"

#include <fstream>
#include <sstream>

#include "sim/machine_lock.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

bool ReadUnlocked(const fs::path& file, MachineDescription& machine, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    SetError(error, "cannot read " + file.string());
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string message;
  if (!ParseMachineDescription(text.str(), machine, message)) {
    SetError(error, file.string() + ": " + message);
    return false;
  }
  return true;
}

}  // namespace

Machine::Machine(fs::path folder) : folder_(std::move(folder)) {}

fs::path Machine::VolumeFolder(char letter) const {
  return folder_ / "volumes" / std::string(1, letter);
}

bool Machine::Exists() const {
  std::error_code error;
  return fs::is_regular_file(DescriptionFile(), error);
}

bool Machine::Read(MachineDescription& machine, std::string* error) const {
  MachineLock lock(folder_, false);
  if (!lock.Held()) {
    SetError(error, "cannot lock the machine in " + folder_.string());
    return false;
  }
  return ReadUnlocked(DescriptionFile(), machine, error);
}

bool Machine::ReadHeld(MachineDescription& machine, std::string* error) const {
  return ReadUnlocked(DescriptionFile(), machine, error);
}

bool Machine::Modify(const std::function<bool(MachineDescription&)>& change, std::string* error) {
  MachineLock lock(folder_, true);
  if (!lock.Held()) {
    SetError(error, "cannot lock the machine in " + folder_.string());
    return false;
  }
  MachineDescription machine;
  if (!ReadUnlocked(DescriptionFile(), machine, error)) return false;
  if (!change(machine)) return true;
  return WriteLocked(machine, error);
}

bool Machine::Exclusive(const std::function<bool()>& action) {
  MachineLock lock(folder_, true);
  return lock.Held() && action();
}

bool Machine::Create(const MachineDescription& machine, std::string* error, bool onlyIfMissing) {
  std::error_code fsError;
  fs::create_directories(folder_, fsError);
  if (fsError) {
    SetError(error, "cannot create " + folder_.string() + ": " + fsError.message());
    return false;
  }
  MachineLock lock(folder_, true);
  if (!lock.Held()) {
    SetError(error, "cannot lock the machine in " + folder_.string());
    return false;
  }
  if (onlyIfMissing && Exists()) return true;
  if (!WriteLocked(machine, error)) return false;
  CreateMachineFolders(*this, machine);
  return true;
}

bool Machine::WriteLocked(const MachineDescription& machine, std::string* error) {
  const fs::path aside = folder_ / ("machine.json." + std::to_string(CurrentProcessId()) + ".new");
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out << FormatMachineDescription(machine);
    if (!out.flush()) {
      SetError(error, "cannot write " + aside.string());
      return false;
    }
  }
  std::error_code fsError;
  fs::rename(aside, DescriptionFile(), fsError);
  if (fsError) {
    SetError(error, "cannot replace " + DescriptionFile().string() + ": " + fsError.message());
    fs::remove(aside, fsError);
    return false;
  }
  return true;
}

char DriveLetter(const std::string& text) {
  if (text.size() != 1) return 0;
  const char c = text[0];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  return (c >= 'A' && c <= 'Z') ? c : '\0';
}

uint64_t FolderBytes(const fs::path& folder) {
  uint64_t total = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code statError;
    if (it->is_regular_file(statError)) {
      const auto size = it->file_size(statError);
      if (!statError) total += size;
    }
  }
  return total;
}

void CreateMachineFolders(const Machine& machine, const MachineDescription& description) {
  std::error_code error;
  fs::create_directories(machine.Folder() / "discs", error);
  for (const auto& recorder : description.recorders) {
    if (const char letter = DriveLetter(recorder.letter)) {
      fs::create_directories(machine.VolumeFolder(letter), error);
    }
  }
  for (const auto& disk : description.disks) {
    if (!disk.present) continue;
    for (const auto& partition : disk.partitions) {
      const char letter = DriveLetter(partition.letter);
      if (letter && !partition.full) fs::create_directories(machine.VolumeFolder(letter), error);
    }
  }
  for (const auto& user : description.users) {
    fs::create_directories(machine.Folder() / "users" / user.profileFolder, error);
  }
}

}  // namespace kestrune::sim
