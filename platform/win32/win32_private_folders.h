#pragma once

#include "platform/win32/windows_support.h"

#include "platform/private_folders.h"

namespace kestrune::platform::win32 {

/// Run folders below the machine-wide program data folder: "Kestrune\<random>", or
/// "Kestrune-<random>" beside it when a "Kestrune" found there is not the program's own (a link,
/// a file, or a folder owned by anyone but the administrators or the system). Both are created
/// with CreateDirectoryW, which never takes an existing folder, and the access list of
/// `PrivateFolderSecurity`.
class Win32PrivateFolders : public PrivateFolders {
 public:
  /// `programData` is the folder to create in; empty for the machine's program data folder
  /// (FOLDERID_ProgramData, or %PROGRAMDATA% when the shell cannot say).
  explicit Win32PrivateFolders(std::wstring programData = {});

  std::wstring CreateRunFolder() override;

 private:
  std::wstring programData_;
};

/// The security descriptor of the program's folders: owned by the administrators, with a
/// protected access list (nothing inherited from the parent) that grants full control to the
/// administrators and the system only, inherited by every file and folder inside. Empty when
/// the system cannot build it.
[[nodiscard]] windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> PrivateFolderSecurity();

/// The machine-wide program data folder (FOLDERID_ProgramData, or %PROGRAMDATA% when the
/// shell cannot say); empty when neither answers.
[[nodiscard]] std::wstring MachineProgramData();

/// The existing folder `path`, held open without sharing write or delete access so that it
/// cannot be renamed or replaced while the handle lives; invalid when it is no folder of the
/// program's own (a link, a file, or a folder owned by anyone but the administrators or the
/// system).
[[nodiscard]] windows::UniqueHandle HoldOwnFolder(const std::wstring& path);

/// Whether `owner` is the administrators group or the system: the owners of an existing
/// "Kestrune" folder that the program takes as its own.
[[nodiscard]] bool IsTrustedOwner(PSID owner);

}  // namespace kestrune::platform::win32
