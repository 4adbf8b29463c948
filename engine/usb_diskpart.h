#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::usb {

/// The label a new USB volume gets when the run context names none, or one that cannot go
/// into a diskpart script unchanged.
inline constexpr std::wstring_view kDefaultVolumeLabel = L"RECOVERY";

/// The diskpart scripts of the USB writer, with "\n" line ends (a text-mode file turns them
/// into the platform's own). Every value in them must have passed the checks below.
std::string LookupScript(wchar_t letter);
/// Cleans the disk that holds the volume with `letter`: selecting the volume gives its disk
/// the focus, so the wipe follows the letter the user confirmed and the inventory has just
/// shown on the confirmed device, not a disk number that may have changed meanwhile.
std::string WipeScript(wchar_t letter);
/// Takes the active mark from the first partition of disk `disk`, which the build made.
std::string MarkIncompleteScript(uint32_t disk);
/// Eleven lines; the last one, "exit", has no line break.
std::string BuildScript(uint32_t disk, uint32_t megabytes, std::wstring_view label, wchar_t letter);

/// One start of the command interpreter: the program's full path and its parameters.
struct InterpreterRun {
  std::wstring program;
  std::wstring parameters;
};

/// The run of cmd.exe in `systemFolder` that runs one diskpart script and sends diskpart's
/// output to a file: "/D /C SYS\chcp.com 437 & SYS\diskpart.exe /s "SCRIPT" > "OUTPUT"". /D
/// keeps the user's AutoRun command from running first (it could change the folder or run
/// anything), and every program is named by its full path, so nothing is looked for in the
/// current folder. Nothing when the system folder is not absolute or holds a character the
/// interpreter would read (a blank, quote, &, |, <, >, ^, % or a parenthesis), or a path holds
/// a double quote.
std::optional<InterpreterRun> DiskpartRun(const std::wstring& systemFolder,
                                          const std::wstring& scriptPath,
                                          const std::wstring& outputPath);

/// A drive letter diskpart can be given: 'A' to 'Z'.
bool IsScriptLetter(wchar_t letter);

/// `label` when it is a FAT32 label that the build script can carry as it is (1 to 11
/// characters, each an ASCII letter or digit, a blank, '_' or '-'); otherwise "RECOVERY".
std::wstring ScriptLabel(std::wstring_view label);

/// What the look-up's output says about the disk behind the volume.
struct DiskLookup {
  enum Outcome { kFound, kNone, kSeveral };
  Outcome outcome = kNone;
  uint32_t disk = 0;  ///< with kFound: 1 to 9999
};

/// Reads diskpart's "detail volume" output. A disk line begins with an asterisk, a blank and
/// the word for a disk in the system's language ("* Disk 2    Online ...", "* Datenträger
/// 2 ..."): any word, since the caller checks the number against the disk inventory. It
/// names the disk when its number is 1 to 4
/// digits and greater than 0. One disk line is needed: without one (or with disk 0, the
/// system's first disk) there is no disk; with two the volume spans disks and wiping one of
/// them is never right. Line ends may be CR LF or LF.
DiskLookup ParseDiskLookup(std::istream& output);

}  // namespace kestrune::usb
