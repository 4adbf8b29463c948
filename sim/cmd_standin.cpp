#include "sim/cmd_standin.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include "sim/diskpart_standin.h"
#include "sim/machine_location.h"
#include "text/ascii_case.h"

extern char** environ;

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

using text::EqualsIgnoringAsciiCase;

// "/F", "/-Y": Linux absolute paths also begin with a slash, so a switch is a short word.
bool IsSwitch(const std::string& argument) {
  if (argument.size() < 2 || argument.size() > 3 || argument[0] != '/') return false;
  return std::all_of(argument.begin() + 1, argument.end(), [](char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '-';
  });
}

fs::path FromWindowsPath(const fs::path& folder, std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  const fs::path path(text);
  return path.is_absolute() ? path : folder / path;
}

bool IsReadOnly(const fs::path& file) {
  struct stat info {};
  return ::lstat(file.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

struct DeleteOptions {
  bool force = false;
  bool subfolders = false;
};

// Deletes the files in `folder` that match `pattern`, and below it with /S. Counts matches.
bool DeleteMatching(const fs::path& folder, const std::string& pattern,
                    const DeleteOptions& options, int& matched, std::ostream& errors) {
  bool ok = true;
  std::error_code error;
  std::vector<fs::path> subfolders;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code statusError;
    const auto status = it->symlink_status(statusError);
    if (fs::is_directory(status)) {
      if (options.subfolders) subfolders.push_back(it->path());
      continue;
    }
    if (!MatchesWildcard(pattern, it->path().filename().string())) continue;
    ++matched;
    if (!options.force && IsReadOnly(it->path())) {
      errors << it->path().string() << "\nAccess is denied.\n";
      ok = false;
      continue;
    }
    std::error_code removeError;
    if (!fs::remove(it->path(), removeError)) {
      errors << "Could not delete " << it->path().string() << "\n";
      ok = false;
    }
  }
  for (const auto& subfolder : subfolders) {
    ok = DeleteMatching(subfolder, pattern, options, matched, errors) && ok;
  }
  return ok;
}

int Delete(const std::vector<std::string>& arguments, const fs::path& folder,
           std::ostream& errors) {
  DeleteOptions options;
  std::vector<std::string> patterns;
  for (const auto& argument : arguments) {
    if (EqualsIgnoringAsciiCase(argument, "/F")) {
      options.force = true;
    } else if (EqualsIgnoringAsciiCase(argument, "/S")) {
      options.subfolders = true;
    } else if (EqualsIgnoringAsciiCase(argument, "/Q")) {
      // Quiet: the stand-in never asks.
    } else if (IsSwitch(argument)) {
      errors << "Invalid switch - " << argument << "\n";
      return 1;
    } else {
      patterns.push_back(argument);
    }
  }
  if (patterns.empty()) {
    errors << "The syntax of the command is incorrect.\n";
    return 1;
  }
  bool ok = true;
  for (const auto& pattern : patterns) {
    const fs::path full = FromWindowsPath(folder, pattern);
    int matched = 0;
    ok = DeleteMatching(full.parent_path(), full.filename().string(), options, matched, errors) &&
         ok;
    if (matched == 0) errors << "Could Not Find " << full.string() << "\n";
  }
  return ok ? 0 : 1;
}

bool SameContents(const fs::path& a, const fs::path& b) {
  std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
  if (!first || !second) return false;
  return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

int Copy(const std::vector<std::string>& arguments, const fs::path& folder, std::ostream& output,
         std::ostream& errors) {
  bool verify = false;
  std::vector<std::string> paths;
  for (const auto& argument : arguments) {
    if (EqualsIgnoringAsciiCase(argument, "/V")) {
      verify = true;
    } else if (EqualsIgnoringAsciiCase(argument, "/Y")) {
      // Overwrite without asking: the stand-in never asks.
    } else if (IsSwitch(argument)) {
      errors << "Invalid switch - " << argument << "\n";
      return 1;
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.size() != 2) {
    errors << "The syntax of the command is incorrect.\n";
    return 1;
  }
  const fs::path source = FromWindowsPath(folder, paths[0]);
  fs::path target = FromWindowsPath(folder, paths[1]);
  std::error_code error;
  if (!fs::is_regular_file(source, error)) {
    errors << "The system cannot find the file specified.\n";
    return 1;
  }
  const bool namesFolder = paths[1].back() == '\\' || paths[1].back() == '/';
  if (namesFolder || fs::is_directory(target, error)) target /= source.filename();
  if (fs::exists(target, error) && fs::equivalent(source, target, error)) {
    errors << "The file cannot be copied onto itself.\n";
    return 1;
  }
  if (!fs::copy_file(source, target, fs::copy_options::overwrite_existing, error) || error) {
    errors << "Access is denied.\n";
    return 1;
  }
  if (verify && !SameContents(source, target)) {
    errors << "Verification of the copy failed.\n";
    return 1;
  }
  output << "        1 file(s) copied.\n";
  return 0;
}

int Diskpart(const std::vector<std::string>& arguments, const fs::path& folder,
             std::ostream& output, std::ostream& errors, const fs::path& machineFolder) {
  if (arguments.size() != 2 || !EqualsIgnoringAsciiCase(arguments[0], "/s")) {
    errors << "kestrune-cmd: diskpart runs only with /s SCRIPT\n";
    return diskpart::kBadParameters;
  }
  std::ifstream scriptFile(FromWindowsPath(folder, arguments[1]), std::ios::binary);
  std::ostringstream script;
  script << scriptFile.rdbuf();
  if (!scriptFile) {
    output << "\r\nDiskPart was unable to open or read the script file " << arguments[1] << ".\r\n";
    return diskpart::kCannotOpenScript;
  }
  Machine machine(machineFolder);
  return RunDiskpartScript(machine, script.str(), output);
}

/// Runs `program` with `arguments` in `folder` and waits for it; its exit code, 1 when it
/// cannot be started.
int RunProgram(const fs::path& program, const std::vector<std::string>& arguments,
               const fs::path& folder) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t child = 0;
  const int started =
      posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return 1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

/// The extensions the interpreter tries, in its order, for a command name without one.
constexpr const char* kProgramExtensions[] = {".com", ".exe", ".bat", ".cmd"};

/// The file in `folder` that the name `word` means, found as cmd finds it: the name itself
/// when it has an extension, else with each program extension; names match without regard to
/// case. Empty when there is none.
fs::path FindInFolder(const fs::path& folder, const std::string& word) {
  std::vector<std::string> candidates;
  if (fs::path(word).has_extension()) candidates.push_back(word);
  for (const char* extension : kProgramExtensions) candidates.push_back(word + extension);
  std::error_code error;
  for (const std::string& candidate : candidates) {
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (EqualsIgnoringAsciiCase(it->path().filename().string(), candidate) &&
          !fs::is_directory(it->symlink_status(error))) {
        return it->path();
      }
    }
  }
  return {};
}

/// One run of the interpreter: its current folder (which `cd` changes), the machine, and
/// where the output goes.
struct Interpreter {
  fs::path folder;
  fs::path machineFolder;
  fs::path systemFolder;
  std::ostream& errors;
  int depth = 0;

  int Run(std::vector<std::string> command, std::ostream& output);
  int RunLine(const std::string& line, std::ostream& output);
  int RunFile(const fs::path& file, const std::vector<std::string>& arguments,
              std::ostream& output);
};

int Interpreter::RunLine(const std::string& line, std::ostream& output) {
  // The words of the line (no quotes in what the stand-in is given this way); "&" chains.
  std::istringstream words(line);
  std::vector<std::string> command;
  int code = 0;
  for (std::string word; words >> word;) {
    if (word == "&") {
      if (!command.empty()) code = Run(command, output);
      command.clear();
    } else {
      command.push_back(word);
    }
  }
  if (!command.empty()) code = Run(command, output);
  return code;
}

int Interpreter::RunFile(const fs::path& file, const std::vector<std::string>& arguments,
                         std::ostream& output) {
  const std::string extension = file.extension().string();
  if (EqualsIgnoringAsciiCase(extension, ".bat") || EqualsIgnoringAsciiCase(extension, ".cmd")) {
    if (depth > 8) return 1;
    std::ifstream batch(file);
    int code = 0;
    ++depth;
    for (std::string line; std::getline(batch, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      code = RunLine(line, output);
    }
    --depth;
    return code;
  }
  return RunProgram(file, arguments, folder);
}

// One command of a chain, with its "> file" or ">> file" redirection of standard output.
int Interpreter::Run(std::vector<std::string> command, std::ostream& output) {
  std::optional<std::pair<std::string, bool>> redirect;  // file, append
  for (size_t i = 0; i < command.size(); ++i) {
    const std::string& word = command[i];
    if (word.empty() || word[0] != '>') continue;
    const bool append = word.rfind(">>", 0) == 0;
    std::string target = word.substr(append ? 2 : 1);
    size_t erase = 1;
    if (target.empty() && i + 1 < command.size()) target = command[i + 1], erase = 2;
    if (target.empty()) {
      errors << "The syntax of the command is incorrect.\n";
      return 1;
    }
    redirect = std::make_pair(target, append);
    command.erase(command.begin() + static_cast<std::ptrdiff_t>(i),
                  command.begin() + static_cast<std::ptrdiff_t>(i + erase));
    --i;
  }
  std::ofstream file;
  if (redirect) {
    file.open(FromWindowsPath(folder, redirect->first),
              std::ios::binary | (redirect->second ? std::ios::app : std::ios::trunc));
    if (!file) {
      errors << "The system cannot find the path specified.\n";
      return 1;
    }
  }
  std::ostream& out = redirect ? static_cast<std::ostream&>(file) : output;
  if (command.empty()) return 0;
  const std::string& name = command[0];
  const std::vector<std::string> rest(command.begin() + 1, command.end());

  // The interpreter's own commands.
  if (EqualsIgnoringAsciiCase(name, "del")) return Delete(rest, folder, errors);
  if (EqualsIgnoringAsciiCase(name, "copy")) return Copy(rest, folder, out, errors);
  if (EqualsIgnoringAsciiCase(name, "echo")) {
    for (size_t i = 0; i < rest.size(); ++i) out << (i == 0 ? "" : " ") << rest[i];
    out << "\r\n";
    return 0;
  }
  if (EqualsIgnoringAsciiCase(name, "cd") || EqualsIgnoringAsciiCase(name, "chdir")) {
    std::vector<std::string> target = rest;
    if (!target.empty() && EqualsIgnoringAsciiCase(target[0], "/d")) target.erase(target.begin());
    if (target.empty()) return 0;
    const fs::path next = FromWindowsPath(folder, target[0]);
    std::error_code error;
    if (!fs::is_directory(next, error)) {
      errors << "The system cannot find the path specified.\n";
      return 1;
    }
    folder = next;
    return 0;
  }

  // A program: a bare name is looked for in the current folder first, as cmd does, and only
  // then in the system folder; a path names its file.
  const bool bare = name.find_first_of("/\\") == std::string::npos;
  fs::path program = bare ? FindInFolder(folder, name) : FromWindowsPath(folder, name);
  if (bare && program.empty()) program = systemFolder / name;
  const auto isSystem = [&](const std::string& stem, const std::string& extension) {
    if (program.parent_path().lexically_normal() != systemFolder.lexically_normal()) return false;
    const std::string file = program.filename().string();
    return EqualsIgnoringAsciiCase(file, stem) || EqualsIgnoringAsciiCase(file, stem + extension);
  };
  if (isSystem("chcp", ".com")) {
    out << "Active code page: " << (rest.empty() ? "437" : rest[0]) << "\n";
    return 0;
  }
  if (isSystem("diskpart", ".exe")) return Diskpart(rest, folder, out, errors, machineFolder);
  std::error_code error;
  if (!program.empty() && fs::is_regular_file(program, error)) return RunFile(program, rest, out);
  errors << "'" << name << "' is not recognized as an internal or external command,\n"
         << "operable program or batch file.\n";
  return 1;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Iterative glob match with backtracking to the last '*'.
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || text::AsciiLower(pattern[p]) == text::AsciiLower(name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  // A trailing ".*" also matches a name without any dot, as on Windows.
  if (p + 2 == pattern.size() && pattern.substr(p) == ".*") return true;
  return p == pattern.size();
}

int RunCommandInterpreter(const std::vector<std::string>& arguments, const fs::path& folder,
                          std::ostream& output, std::ostream& errors,
                          const fs::path& machineFolder) {
  // Switches up to /C: /D leaves the AutoRun command out, /S is accepted.
  bool autoRun = true;
  size_t at = 0;
  for (; at < arguments.size() && !EqualsIgnoringAsciiCase(arguments[at], "/C"); ++at) {
    if (EqualsIgnoringAsciiCase(arguments[at], "/D")) {
      autoRun = false;
    } else if (!EqualsIgnoringAsciiCase(arguments[at], "/S")) {
      break;
    }
  }
  if (at + 1 >= arguments.size() || !EqualsIgnoringAsciiCase(arguments[at], "/C")) {
    errors << "kestrune-cmd: only \"[/D] [/S] /C command ...\" is supported\n";
    return 1;
  }
  const fs::path machineFolderUsed = machineFolder.empty() ? HostMachineFolder() : machineFolder;
  const Machine machine(machineFolderUsed);
  Interpreter interpreter{folder, machineFolderUsed, machine.SystemFolder(), errors};

  // The user's AutoRun command runs first, in the same interpreter: a "cd" there moves it.
  MachineDescription description;
  if (autoRun && machine.Read(description) && !description.cmdAutoRun.empty()) {
    static_cast<void>(interpreter.RunLine(description.cmdAutoRun, output));
  }

  int code = 0;
  std::vector<std::string> command;
  const auto runOne = [&] {
    if (!command.empty()) code = interpreter.Run(command, output);
    command.clear();
  };
  for (size_t i = at + 1; i < arguments.size(); ++i) {
    if (arguments[i] == "&") {
      runOne();
    } else {
      command.push_back(arguments[i]);
    }
  }
  runOne();
  return code;
}

}  // namespace kestrune::sim
