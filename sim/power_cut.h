#pragma once

namespace kestrune::sim {

/// Where a test can have the simulated machine lose its power (KESTRUNE_POWER_CUT).
namespace power_cut {
/// diskpart has cleaned a disk (the wipe), before anything is built on it.
inline constexpr const char* kWipe = "wipe";
/// 7-Zip has put the first file of an image onto a volume, the rest still to come.
inline constexpr const char* kUnpack = "unpack";
/// 7-Zip has unpacked an image into a folder of the computer (the comparison's unpacking),
/// which is not compared yet.
inline constexpr const char* kCompare = "compare";
/// A disc is being written: the first progress event with data written.
inline constexpr const char* kBurn = "burn";
/// A hive that a program mounted is about to be unmounted: mounted, and its values changed.
inline constexpr const char* kHiveMounted = "hive-mounted";
}  // namespace power_cut

/// A power cut for tests: when this process's environment has KESTRUNE_POWER_CUT=`point`,
/// every process of the run dies at once by SIGKILL, as the machine's power would end them:
/// this process and each of its ancestors that carries the variable too (the program and the
/// tools between it and this one), each with its process group when the group's leader
/// carries it. Nothing else is touched, so a test that starts the program with the variable
/// survives. Does not return then; otherwise does nothing.
void PowerCutAt(const char* point);

/// Whether this process's environment has KESTRUNE_POWER_CUT=`point`.
bool PowerCutArmed(const char* point);

}  // namespace kestrune::sim
