#pragma once

#include <ostream>
#include <string>

#include "sim/machine.h"

namespace kestrune::sim {

/// diskpart's exit codes.
namespace diskpart {
inline constexpr int kOk = 0;
inline constexpr int kBadParameters = 2;
inline constexpr int kCannotOpenScript = 3;
inline constexpr int kServiceFailed = 4;
inline constexpr int kCommandFailed = 5;
}  // namespace diskpart

/// The stand-in for diskpart: runs a script of diskpart commands against the disks of a
/// simulated machine and writes what diskpart would print (lines end with CR LF, as in a
/// file diskpart writes). Like diskpart it stops at the first failing command, unless that
/// command carries "noerr", and then exits with a non-zero code. Commands, in diskpart's
/// spelling with the usual abbreviations:
///
///   select volume <letter|number>, select disk <n>, select partition <n>
///   detail volume     (the disk line reads "* Disk <n>    Online ...")
///   list disk, list volume
///   clean             (refused on the disk that holds the system drive; leaves the disk
///                     without a partition style, so the next create makes it MBR)
///   automount enable|disable
///   create partition primary size=<MB> [noerr]
///   online volume, active
///   format fs=<FAT32|NTFS|EXFAT> label="<text>" quick
///                     (FAT32 only up to 32 GB; empties the volume, capacity = partition size)
///   assign letter=<L>
///   exit, rem
///
/// The fault faults.diskpartFailCommand ("format", "create", ... or "*") makes the commands of
/// that name fail as a service failure (exit code 4): in every run, or with
/// faults.diskpartFailRun = n only in the n-th run on the machine (the description counts the
/// runs in diskpartRuns, so "the second run's clean" is n = diskpartRuns + 2). After the run
/// numbered n, faults.changesAfterDiskpartRun[n] changes fields of the description, as
/// something happening to the machine meanwhile would.
int RunDiskpartScript(Machine& machine, const std::string& script, std::ostream& output);

}  // namespace kestrune::sim
