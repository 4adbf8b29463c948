#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestrune::sim {

/// The 7-Zip the host build carries (kestrune-7z, carried as "7z.exe"). It is the real `7zz`
/// for everything, except that unpacking ("x" or "e") into a volume of the host programs'
/// simulated machine ($KESTRUNE_MACHINE or the default, never created here) behaves like
/// writing to that device: the real 7zz unpacks into a staging folder of the machine, and the
/// files are then copied onto the volume at the disk's writeBytesPerSecond, so that the used
/// space grows while the program watches it. A volume that fills up, or a disk that vanishes
/// (vanishAfterBytes, or unplugged meanwhile), ends the run with 7-Zip's fatal-error code 2
/// and its message, as on Windows.
///
/// Like the Windows 7z.exe it loads the codec library "7z.dll" from its own folder when there
/// is one there: a library with code in it (an executable file) runs, with the rights of the
/// process. So a 7z.dll put beside a carried 7z.exe takes over, as it would on Windows.
///
/// `arguments` are those after the program name. Returns the exit code.
int RunSevenZipStandIn(const std::vector<std::string>& arguments, std::ostream& output,
                       std::ostream& errors);

}  // namespace kestrune::sim
