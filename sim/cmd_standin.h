#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune::sim {

/// The Linux stand-in for "cmd.exe": carries out the command forms this program passes to
/// the Windows command interpreter, on the real Linux file system, with Windows path syntax
/// (backslashes are folder separators, names match without regard to case).
///
///   /C del [/F] [/Q] [/S] pattern...   delete matching files in `folder` (below it too with
///                                      /S); read-only files only with /F; folders are kept
///   /C copy [/V] [/Y] source dest      copy one file; dest may be a folder (".\"); /V reads
///                                      the copy back and compares it
///   /C chcp N                          accepted; the stand-in's output is ASCII anyway
///   /C diskpart /s SCRIPT              runs the diskpart stand-in (diskpart_standin.h) on the
///                                      simulated machine in `machineFolder`, or on the host
///                                      programs' machine when it is empty
///
/// Commands may be chained with "&" (each runs; the last one's code is the result) and a
/// command's output redirected with "> FILE" or ">> FILE", so the partitioning form
/// "/C chcp 437 & diskpart /s "SCRIPT" > "OUTPUT"" works as on Windows.
///
/// `arguments` are the parameters after the program name, already split. Returns the exit
/// code: 0 on success, 1 when the command failed or is not one of these forms (with a message
/// on `errors`), diskpart's own code for diskpart.
int RunCommandInterpreter(const std::vector<std::string>& arguments,
                          const std::filesystem::path& folder, std::ostream& output,
                          std::ostream& errors, const std::filesystem::path& machineFolder = {});

/// Windows wildcard match of a file name: '*' any run of characters, '?' one character,
/// letters without regard to case; "*.*" matches every name, with or without a dot.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace kestrune::sim
