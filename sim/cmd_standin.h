#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune::sim {

/// The Linux stand-in for "cmd.exe": carries out the command forms this program passes to
/// the Windows command interpreter, on the real Linux file system, with Windows path syntax
/// (backslashes are folder separators, names match without regard to case), and behaves as
/// the real one does where that is what makes a program unsafe:
///
///   [/D] [/S] /C command ...           without /D the machine's AutoRun command (cmdAutoRun)
///                                      runs first, in the same interpreter: a "cd" there
///                                      changes the folder the command runs in
///   del [/F] [/Q] [/S] pattern...      delete matching files in the folder (below it too with
///                                      /S); read-only files only with /F; folders are kept
///   copy [/V] [/Y] source dest         copy one file; dest may be a folder (".\"); /V reads
///                                      the copy back and compares it
///   echo text, cd [/d] folder          as cmd's own
///   chcp N, diskpart /s SCRIPT         the system's programs: chcp is accepted (the output is
///                                      ASCII anyway); diskpart runs the diskpart stand-in
///                                      (diskpart_standin.h) on the simulated machine in
///                                      `machineFolder`, or on the host programs' machine
///                                      when it is empty
///
/// A command that is not the interpreter's own is a program: a bare name is looked for in the
/// current folder first (the name, then with .com, .exe, .bat, .cmd), and only then in the
/// machine's system folder, where chcp and diskpart are; a path names its file. A batch file
/// found this way runs line by line, any other file as a program: a "diskpart.bat" in the
/// folder runs instead of diskpart, as on Windows.
///
/// Commands may be chained with "&" (each runs; the last one's code is the result) and a
/// command's output redirected with "> FILE" or ">> FILE", so the partitioning form
/// "/D /C SYS\chcp.com 437 & SYS\diskpart.exe /s "SCRIPT" > "OUTPUT"" works as on Windows.
///
/// `arguments` are the parameters after the program name, already split. Returns the exit
/// code: 0 on success, 1 when the command failed or is not one of these forms (with a message
/// on `errors`), diskpart's own code for diskpart, a program's own code.
int RunCommandInterpreter(const std::vector<std::string>& arguments,
                          const std::filesystem::path& folder, std::ostream& output,
                          std::ostream& errors, const std::filesystem::path& machineFolder = {});

/// Windows wildcard match of a file name: '*' any run of characters, '?' one character,
/// letters without regard to case; "*.*" matches every name, with or without a dot.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace kestrune::sim
