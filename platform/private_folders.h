#pragma once

#include <string>

namespace kestrune::platform {

/// Folders of the program's own that its user cannot change: the place for everything one
/// run writes and then runs or reads back (the carried tools, the diskpart scripts and their
/// output, the MD5 lists), which must not be swapped between the write and the use.
class PrivateFolders {
 public:
  virtual ~PrivateFolders() = default;

  /// Creates a new, empty folder for one run that only the administrators and the system can
  /// open: Windows, a fresh folder below the machine-wide program data folder with an explicit
  /// access list that inherits nothing from its parent; Linux, a fresh folder of mode 0700
  /// below the machine's own folder. A folder that exists already is never taken. Its
  /// absolute path, or empty when no such folder can be made.
  [[nodiscard]] virtual std::wstring CreateRunFolder() = 0;
};

}  // namespace kestrune::platform
