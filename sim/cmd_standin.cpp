#include "sim/cmd_standin.h"

#include <sys/stat.h>

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
  std::unique_ptr<Machine> machine;
  if (machineFolder.empty()) {
    std::string error;
    machine = OpenHostMachine(error);
    if (!machine) {
      errors << "kestrune-cmd: " << error << "\n";
      return diskpart::kServiceFailed;
    }
  } else {
    machine = std::make_unique<Machine>(machineFolder);
  }
  return RunDiskpartScript(*machine, script.str(), output);
}

// One command of a chain, with its "> file" or ">> file" redirection of standard output.
int RunRedirected(std::vector<std::string> command, const fs::path& folder, std::ostream& output,
                  std::ostream& errors, const fs::path& machineFolder) {
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
  if (EqualsIgnoringAsciiCase(name, "del")) return Delete(rest, folder, errors);
  if (EqualsIgnoringAsciiCase(name, "copy")) return Copy(rest, folder, out, errors);
  if (EqualsIgnoringAsciiCase(name, "chcp")) {
    out << "Active code page: " << (rest.empty() ? "437" : rest[0]) << "\n";
    return 0;
  }
  if (EqualsIgnoringAsciiCase(name, "diskpart"))
    return Diskpart(rest, folder, out, errors, machineFolder);
  errors << "kestrune-cmd: unsupported command: " << name << "\n";
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
  if (arguments.size() < 2 || !EqualsIgnoringAsciiCase(arguments[0], "/C")) {
    errors << "kestrune-cmd: only \"/C command ...\" is supported\n";
    return 1;
  }
  int code = 0;
  std::vector<std::string> command;
  const auto runOne = [&] {
    if (!command.empty()) code = RunRedirected(command, folder, output, errors, machineFolder);
    command.clear();
  };
  for (size_t i = 1; i < arguments.size(); ++i) {
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
