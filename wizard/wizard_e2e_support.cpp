#include "wizard/wizard_e2e_support.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

extern char** environ;

namespace kestrune::testing {
namespace fs = std::filesystem;

bool WizardRun::Has(const std::string& line) const {
  for (const std::string& candidate : transcript) {
    if (candidate == line) return true;
  }
  return false;
}

std::vector<std::string> WizardRun::Lines(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (const std::string& line : transcript) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

std::string WizardRun::Text() const {
  std::string text;
  for (const std::string& line : transcript) text += line + "\n";
  return text + errors;
}

namespace {

fs::path FreshFolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  const fs::path folder = fs::temp_directory_path() / (stem + "-" + std::to_string(::getpid()) +
                                                       "-" + std::to_string(counter++));
  fs::create_directories(folder);
  return folder;
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Starts kestrixdw with standard input from `input` (a file or a pipe's read end) and its
/// output and transcript in `folder`; the child's pid, -1 when it cannot start.
pid_t StartWizard(const fs::path& folder, const fs::path& machine, int input,
                  const std::vector<std::string>& arguments,
                  const std::map<std::string, std::string>& environment, int timeoutSeconds) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  variables["KESTRUNE_MACHINE"] = machine.string();
  variables["KESTRUNE_UI"] = "script";
  variables["KESTRUNE_UI_LOG"] = (folder / "transcript.txt").string();
  variables["KESTRUNE_UI_CLOCK"] = "jump";
  variables["KESTRUNE_UI_TIMEOUT"] = std::to_string(timeoutSeconds);
  variables.erase("LC_ALL");
  variables.erase("LC_MESSAGES");
  variables["LANG"] = "C.UTF-8";
  for (const auto& [name, value] : environment) {
    if (value.empty()) {
      variables.erase(name);
    } else {
      variables[name] = value;
    }
  }
  std::vector<std::string> envText;
  for (const auto& [name, value] : variables) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);

  const std::string program = (fs::path(KESTRUNE_BIN_DIR) / "kestrixdw").string();
  std::vector<std::string> argText{program, "/Mode:Fernlow"};
  argText.insert(argText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argText) argv.push_back(text.data());
  argv.push_back(nullptr);

  const std::string out = (folder / "out.txt").string(), err = (folder / "err.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = -1;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
    child = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

/// Waits for the child and collects what it left in `folder`, then removes the folder.
WizardRun Collect(const fs::path& folder, pid_t child) {
  WizardRun run;
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  }
  run.output = sim::testing::ReadFile(folder / "out.txt");
  run.errors = sim::testing::ReadFile(folder / "err.txt");
  run.transcript = ReadLines(folder / "transcript.txt");
  std::error_code error;
  fs::remove_all(folder, error);
  return run;
}

}  // namespace

bool IsReportFile(const std::string& name) {
  const std::string prefix = "KestruneReport-";
  const auto endsWith = [&](const std::string& suffix) {
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  return name.rfind(prefix, 0) == 0 && (endsWith(".txt") || endsWith(".json"));
}

std::vector<std::string> ReportFiles(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (IsReportFile(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

WizardRun RunWizard(const fs::path& machine, const std::string& script,
                    const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment, int timeoutSeconds) {
  const fs::path folder = FreshFolder("kestrune-wizard-run");
  const fs::path scriptFile = folder / "script.txt";
  std::ofstream(scriptFile) << script;
  const int input = ::open(scriptFile.c_str(), O_RDONLY | O_CLOEXEC);
  const pid_t child = StartWizard(folder, machine, input, arguments, environment, timeoutSeconds);
  ::close(input);
  return Collect(folder, child);
}

WizardProcess::WizardProcess(const fs::path& machine, const std::vector<std::string>& arguments,
                             int timeoutSeconds,
                             const std::map<std::string, std::string>& environment)
    : folder_(FreshFolder("kestrune-wizard-process")) {
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  pid_ = StartWizard(folder_, machine, fds[0], arguments, environment, timeoutSeconds);
  ::close(fds[0]);
  scriptFd_ = fds[1];
}

WizardProcess::~WizardProcess() {
  if (scriptFd_ >= 0 || pid_ > 0) static_cast<void>(Finish());
}

void WizardProcess::Send(const std::string& lines) {
  if (scriptFd_ >= 0) static_cast<void>(::write(scriptFd_, lines.data(), lines.size()));
}

bool WizardProcess::WaitForLine(const std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& candidate : ReadLines(folder_ / "transcript.txt")) {
      if (candidate == line) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

WizardRun WizardProcess::Finish() {
  if (scriptFd_ >= 0) ::close(scriptFd_);
  scriptFd_ = -1;
  const pid_t child = pid_;
  pid_ = -1;
  return Collect(folder_, child);
}

const std::vector<fs::path>& SampleDiscs(int discs, uint64_t bytesPerDisc) {
  struct Set {
    Set(int discs, uint64_t bytesPerDisc) {
      tools::SampleSetOptions options;
      options.folder = FreshFolder("kestrune-wizard-set");
      options.partBytes = bytesPerDisc * static_cast<uint64_t>(discs);
      options.installParts = discs;
      options.discs = discs;
      tools::SampleSet set;
      std::string error;
      EXPECT_TRUE(tools::MakeSampleSet(options, set, error)) << error;
      images = set.images;
      folder = options.folder;
    }
    ~Set() {
      std::error_code error;
      fs::remove_all(folder, error);
    }
    std::vector<fs::path> images;
    fs::path folder;
  };
  static std::map<std::pair<int, uint64_t>, std::unique_ptr<Set>> sets;
  auto& set = sets[{discs, bytesPerDisc}];
  if (!set) set = std::make_unique<Set>(discs, bytesPerDisc);
  return set->images;
}

}  // namespace kestrune::testing
