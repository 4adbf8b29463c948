#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "sim/machine_description.h"

namespace kestrune::sim {

/// A simulated machine: a folder that several processes share.
///
///   machine.json        the description (see machine_description.h and README.md)
///   machine.lock        the lock every reader and writer of machine.json takes (flock)
///   volumes/<L>/        the files of the volume with drive letter L
///   discs/              what the recorders wrote, one image file per written disc
///   users/<folder>/     the users' profile folders with their hives (ntuser.dat)
///   windows/system32/   the system folder: cmd.exe, chcp.com and diskpart.exe are the
///                       command-interpreter stand-in's, whether or not a file is there
///   programdata/        the machine-wide program data folder, writable only by its owner
///
/// Readers take a shared lock, changes an exclusive one around read-modify-write, and the
/// description is replaced atomically (written aside, then renamed), so a process never sees
/// a half-written file.
class Machine {
 public:
  explicit Machine(std::filesystem::path folder);

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path DescriptionFile() const { return folder_ / "machine.json"; }
  /// The folder that holds the files of the volume with drive letter `letter`.
  std::filesystem::path VolumeFolder(char letter) const;
  /// The system folder (SystemInfo::SystemFolder on the simulated machine).
  std::filesystem::path SystemFolder() const { return folder_ / "windows" / "system32"; }
  /// The machine-wide program data folder; the program's run folders are made below it.
  std::filesystem::path ProgramDataFolder() const { return folder_ / "programdata"; }
  /// A machine-relative path of the description ("discs/E-1.iso") as a real path.
  std::filesystem::path Resolve(const std::string& relative) const { return folder_ / relative; }

  /// True when the folder holds a description.
  bool Exists() const;

  /// Reads the description. False with a message when it is missing or unreadable.
  bool Read(MachineDescription& machine, std::string* error = nullptr) const;

  /// Reads, lets `change` edit, and writes back, all under the exclusive lock. `change`
  /// returns false to leave the file as it was. False when the description cannot be read or
  /// written.
  bool Modify(const std::function<bool(MachineDescription&)>& change, std::string* error = nullptr);

  /// Runs `action` under the exclusive lock, for files beside the description (the hives).
  /// False when the lock cannot be taken or `action` fails.
  bool Exclusive(const std::function<bool()>& action);

  /// Reads the description while the caller already holds the lock (inside `Exclusive`).
  bool ReadHeld(MachineDescription& machine, std::string* error = nullptr) const;

  /// Writes `machine` as the description, creating the folders it needs (the volume folder
  /// of every drive letter, the profile folders). Existing volume contents are kept. With
  /// `onlyIfMissing` an existing description is left as it is (and that counts as success),
  /// so that processes starting together create one machine.
  bool Create(const MachineDescription& machine, std::string* error = nullptr,
              bool onlyIfMissing = false);

 private:
  bool WriteLocked(const MachineDescription& machine, std::string* error);

  std::filesystem::path folder_;
};

/// Upper-case drive letter of a description field ("e" -> 'E'); 0 when it is not a letter.
char DriveLetter(const std::string& text);

/// Bytes held by the regular files below `folder` (0 when it does not exist).
uint64_t FolderBytes(const std::filesystem::path& folder);

/// Creates the folders a description names (volume folders, profile folders).
void CreateMachineFolders(const Machine& machine, const MachineDescription& description);

}  // namespace kestrune::sim
