#include "wizard/wizard_e2e_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

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

}  // namespace

WizardRun RunWizard(const fs::path& machine, const std::string& script,
                    const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment, int timeoutSeconds) {
  const fs::path folder = FreshFolder("kestrune-wizard-run");
  const fs::path scriptFile = folder / "script.txt", outFile = folder / "out.txt",
                 errFile = folder / "err.txt", logFile = folder / "transcript.txt";
  std::ofstream(scriptFile) << script;

  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  variables["KESTRUNE_MACHINE"] = machine.string();
  variables["KESTRUNE_UI"] = "script";
  variables["KESTRUNE_UI_LOG"] = logFile.string();
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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, scriptFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  WizardRun run;
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
      run.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.output = sim::testing::ReadFile(outFile);
  run.errors = sim::testing::ReadFile(errFile);
  run.transcript = ReadLines(logFile);
  std::error_code error;
  fs::remove_all(folder, error);
  return run;
}

const std::vector<fs::path>& SampleDiscs(int discs) {
  struct Set {
    explicit Set(int discs) {
      tools::SampleSetOptions options;
      options.folder = FreshFolder("kestrune-wizard-set");
      options.partBytes = 1024 * 1024 * static_cast<uint64_t>(discs);
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
  static std::map<int, std::unique_ptr<Set>> sets;
  auto& set = sets[discs];
  if (!set) set = std::make_unique<Set>(discs);
  return set->images;
}

}  // namespace kestrune::testing
