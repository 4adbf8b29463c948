// kestrixdl: starts the wizard on a recovery-set folder as the maker's downloader does, keeps
// the state word between runs and says in one line what has been written.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/launcher/recovery_set.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using namespace kestrune::launcher;

// Exit codes.
constexpr int kDone = 0;            // the wizard ran; its state word is stored
constexpr int kUsage = 1;           // bad command line
constexpr int kNoImages = 2;        // the folder holds no disc image
constexpr int kWizardSilent = 3;    // the wizard printed no state word
constexpr int kPackageFailed = 4;   // the package could not be unpacked
constexpr int kStateNotStored = 5;  // the state word could not be stored or read

constexpr const char* kUsageText =
    "Usage: kestrixdl [options] [switches] SET_FOLDER\n"
    "\n"
    "Writes the recovery set in SET_FOLDER (disc images disc1.iso, disc2.iso, ... and\n"
    "optionally package.7z) onto recovery media with the wizard kestrixdw, and remembers\n"
    "which discs were written in SET_FOLDER/kestrixdl.state, so the next run continues the set.\n"
    "\n"
    "Options:\n"
    "  --label TEXT     label of the discs (default: the folder's name)\n"
    "  --password PW    password of package.7z; the package is unpacked first\n"
    "  --wizard PATH    the wizard program (default: kestrixdw beside this program)\n"
    "  --reset          forget the stored state word and start the set afresh\n"
    "  --reports        list the verification reports of SET_FOLDER, newest first, and stop\n"
    "  -h, --help       this text\n"
    "Switches passed to the wizard: /RW /NV /NE /NW /P /Bit:64 (any letter case).\n"
    "\n"
    "Exit codes:\n"
    "  0  the wizard ran; its state word is stored and summarised\n"
    "  1  bad command line\n"
    "  2  the folder holds no disc image\n"
    "  3  the wizard ended without a state word (not shown, or could not start)\n"
    "  4  the package could not be unpacked\n"
    "  5  the state word could not be stored, or the stored one is unreadable\n";

struct Options {
  std::string label;
  std::string password;
  fs::path wizard;
  fs::path folder;
  std::vector<std::string> switches;
  bool reset = false;
  bool reports = false;
};

bool IsWizardSwitch(std::string argument) {
  for (char& c : argument) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  return argument == "/RW" || argument == "/NV" || argument == "/NE" || argument == "/NW" ||
         argument == "/P" || argument == "/BIT:64";
}

/// Parses the command line; nothing after printing why when it is not usable.
std::optional<Options> ParseOptions(int argc, char** argv, bool& helpShown) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "-h" || argument == "--help") {
      std::cout << kUsageText;
      helpShown = true;
      return std::nullopt;
    } else if (argument == "--label" && hasValue) {
      options.label = argv[++i];
    } else if (argument == "--password" && hasValue) {
      options.password = argv[++i];
    } else if (argument == "--wizard" && hasValue) {
      options.wizard = argv[++i];
    } else if (argument == "--reset") {
      options.reset = true;
    } else if (argument == "--reports") {
      options.reports = true;
    } else if (IsWizardSwitch(argument)) {
      options.switches.push_back(argument);
    } else if (!argument.empty() && argument[0] != '-' && options.folder.empty()) {
      options.folder = argument;
    } else {
      std::cerr << "kestrixdl: unexpected argument '" << argument << "'\n";
      return std::nullopt;
    }
  }
  if (options.folder.empty()) {
    std::cerr << "kestrixdl: no recovery-set folder given (kestrixdl --help)\n";
    return std::nullopt;
  }
  return options;
}

/// The wizard while it runs, for the termination handler.
volatile sig_atomic_t gChild = 0;

/// A termination request ends the wizard, which prints its result line on the way out; this
/// program lives on to store it.
extern "C" void PassTerminationOn(int) {
  if (gChild > 0) ::kill(static_cast<pid_t>(gChild), SIGTERM);
}

fs::path OwnFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

/// Runs `arguments` with standard input and error shared and standard output captured, and
/// waits for it. Nothing when it cannot be started. The child starts with the default handling
/// of the signals this program ignores.
std::optional<std::string> RunCapturingOutput(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int started = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeEnds[1]);
  if (started != 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }
  gChild = child;
  std::string output;
  char buffer[256];
  for (;;) {
    const ssize_t count = ::read(pipeEnds[0], buffer, sizeof buffer);
    if (count > 0) {
      if (output.size() < 4096) output.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeEnds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  gChild = 0;
  return output;
}

}  // namespace

int main(int argc, char** argv) {
  bool helpShown = false;
  const auto options = ParseOptions(argc, argv, helpShown);
  if (!options) return helpShown ? kDone : kUsage;

  if (options->reports) {
    const std::vector<ReportSummary> reports = FindReports(options->folder);
    if (reports.empty()) std::cout << "no verification report in " << options->folder << "\n";
    for (const ReportSummary& report : reports) {
      std::cout << report.when << "  " << report.media << "  " << report.result << "  "
                << report.text.filename().string() << "\n";
    }
    return kDone;
  }

  const RecoverySet set = FindRecoverySet(options->folder);
  if (set.images.empty()) {
    std::cerr << "kestrixdl: no disc image (*.iso) in " << options->folder << "\n";
    return kNoImages;
  }
  const fs::path wizard = options->wizard.empty() ? OwnFolder() / "kestrixdw" : options->wizard;
  std::string label = options->label;
  if (label.empty()) label = fs::absolute(options->folder).lexically_normal().filename().string();
  if (label.empty()) label = "Recovery";

  // The person answers the wizard's questions; Ctrl-C belongs to the wizard, and this program
  // must live on to read its result line. When the terminal goes away the wizard gets the
  // hang-up itself; a termination request is passed on to it.
  ::signal(SIGINT, SIG_IGN);
  ::signal(SIGQUIT, SIG_IGN);
  ::signal(SIGHUP, SIG_IGN);
  struct sigaction termination {};
  termination.sa_handler = PassTerminationOn;
  sigemptyset(&termination.sa_mask);
  ::sigaction(SIGTERM, &termination, nullptr);

  if (!set.package.empty()) {
    if (options->password.empty()) {
      std::cerr << "kestrixdl: " << set.package.filename()
                << " is left packed: no --password given\n";
    } else {
      const auto output = RunCapturingOutput({wizard.string(), "/Mode:SevenZip", label, "0",
                                              "/Pass:" + options->password, set.package.string()});
      if (!output || *output != "1\n") {
        std::cerr << "kestrixdl: could not unpack " << set.package.filename()
                  << " (wrong password, or 7-Zip failed)\n";
        return kPackageFailed;
      }
    }
  }

  std::optional<uint32_t> stored =
      options->reset ? std::optional<uint32_t>(0u) : ReadStateWord(set.folder);
  if (!stored) {
    std::cerr << "kestrixdl: " << (set.folder / kStateFileName)
              << " does not hold a state word; run with --reset to start the set afresh\n";
    return kStateNotStored;
  }

  std::vector<std::string> command{wizard.string(), "/Mode:Fernlow", label,
                                   std::to_string(*stored)};
  command.insert(command.end(), options->switches.begin(), options->switches.end());
  for (const auto& image : set.images) command.push_back(fs::absolute(image).string());
  const std::vector<ReportSummary> reportsBefore = FindReports(set.folder);
  const auto output = RunCapturingOutput(command);
  // The report the wizard just left, if any: the newest one that was not there before.
  std::optional<fs::path> report;
  for (const ReportSummary& found : FindReports(set.folder)) {
    bool old = false;
    for (const ReportSummary& before : reportsBefore) old = old || before.text == found.text;
    if (!old) {
      report = found.text;
      break;
    }
  }
  if (!output) {
    std::cerr << "kestrixdl: cannot start " << wizard << "\n";
    return kWizardSilent;
  }
  const auto word = ParseResultLine(*output);
  if (!word) {
    // It may have been closed or killed while it wrote: what it did is in its report, if any.
    std::cerr << "kestrixdl: the wizard ended without telling which discs are written; the set's"
                 " state is left as it was\n";
    if (report) std::cout << "Verification report: " << report->string() << "\n";
    return kWizardSilent;
  }
  if (!WriteStateWord(set.folder, *word)) {
    std::cerr << "kestrixdl: cannot store the state word " << *word << " in " << set.folder << "\n";
    std::cout << DescribeState(*word, set.images.size()) << "\n";
    if (report) std::cout << "Verification report: " << report->string() << "\n";
    return kStateNotStored;
  }
  std::cout << DescribeState(*word, set.images.size()) << "\n";
  if (report) std::cout << "Verification report: " << report->string() << "\n";
  return kDone;
}
