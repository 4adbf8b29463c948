#include "platform/host/host_process_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/unique_fd.h"
#include "platform/host/windows_command_line.h"
#include "platform/native_path.h"
#include "text/utf8.h"

extern char** environ;

namespace kestrune::platform::host {
namespace {

// Owns a pid_t until the child is reaped; the exit status is kept after reaping.
class HostChildProcess : public ChildProcess {
 public:
  explicit HostChildProcess(pid_t pid)
      : pid_(pid), pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}

  ~HostChildProcess() override {
    if (!reaped_) Reap(WNOHANG);
  }

  HostChildProcess(const HostChildProcess&) = delete;
  HostChildProcess& operator=(const HostChildProcess&) = delete;

  bool WaitForExit(uint32_t milliseconds) override {
    if (reaped_) return true;
    if (pidfd_.valid()) {
      pollfd fd{pidfd_.get(), POLLIN, 0};
      int ready;
      do {
        ready = poll(&fd, 1, static_cast<int>(milliseconds));
      } while (ready < 0 && errno == EINTR);
      return ready > 0 && Reap(0);
    }
    // Without pidfd (old kernels) poll the child's state in short steps.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!Reap(WNOHANG)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  void Terminate(uint32_t exitCode) override {
    if (reaped_) return;
    kill(-pid_, SIGKILL);  // the child's whole process group
    kill(pid_, SIGKILL);
    Reap(0);
    exitCode_ = exitCode;
    haveExitCode_ = true;
  }

  bool ReadExitCode(uint32_t& exitCode) override {
    if (!reaped_ || !haveExitCode_) return false;
    exitCode = exitCode_;
    return true;
  }

 private:
  // True once the child has ended and its status is known.
  bool Reap(int options) {
    int status = 0;
    pid_t result;
    do {
      result = waitpid(pid_, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result != pid_) return false;
    reaped_ = true;
    if (WIFEXITED(status)) {
      exitCode_ = static_cast<uint32_t>(WEXITSTATUS(status));
      haveExitCode_ = true;
    } else if (WIFSIGNALED(status)) {
      // A killed child reports 128 + signal, as POSIX shells do.
      exitCode_ = 128u + static_cast<uint32_t>(WTERMSIG(status));
      haveExitCode_ = true;
    }
    return true;
  }

  pid_t pid_;
  UniqueFd pidfd_;
  bool reaped_ = false;
  bool haveExitCode_ = false;
  uint32_t exitCode_ = 0;
};

class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnAttributes() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  posix_spawnattr_t* attributes() { return &attributes_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

}  // namespace

uint32_t WindowsErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return 2;  // ERROR_FILE_NOT_FOUND
    case EACCES:
    case EPERM:
      return 5;  // ERROR_ACCESS_DENIED
    case ENOEXEC:
      return 193;  // ERROR_BAD_EXE_FORMAT
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

HostProcessLauncher::HostProcessLauncher(std::filesystem::path commandInterpreter,
                                         std::filesystem::path systemFolder)
    : commandInterpreter_(std::move(commandInterpreter)), systemFolder_(std::move(systemFolder)) {}

ProcessLauncher::StartResult HostProcessLauncher::StartHidden(const std::wstring& program,
                                                              const std::wstring& parameters,
                                                              const std::wstring& workingFolder) {
  return Start(program, parameters, workingFolder, {});
}

ProcessLauncher::StartResult HostProcessLauncher::StartHiddenWithOutput(
    const std::wstring& program, const std::wstring& parameters, const std::wstring& workingFolder,
    const std::wstring& outputFile) {
  if (outputFile.empty()) {
    StartResult refused;
    refused.error = 87;  // ERROR_INVALID_PARAMETER
    return refused;
  }
  return Start(program, parameters, workingFolder, outputFile);
}

ProcessLauncher::StartResult HostProcessLauncher::Start(const std::wstring& program,
                                                        const std::wstring& parameters,
                                                        const std::wstring& workingFolder,
                                                        const std::wstring& outputFile) {
  StartResult result;
  std::filesystem::path executable = ToNativePath(program);
  if (!executable.is_absolute()) {
    result.error = 2;  // ERROR_FILE_NOT_FOUND: nothing is searched for
    return result;
  }
  if (!systemFolder_.empty() && executable.lexically_normal() ==
                                    (systemFolder_ / "cmd.exe").lexically_normal()) {
    executable = commandInterpreter_;
  }

  std::vector<std::string> arguments{executable.string()};
  for (const auto& argument : SplitWindowsParameters(parameters)) {
    arguments.push_back(text::Utf8FromWide(argument));
  }
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  SpawnAttributes spawn;
  posix_spawnattr_setflags(spawn.attributes(), POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(spawn.attributes(), 0);
  const std::string output = ToNativePath(outputFile).string();
  for (int fd = 0; fd <= 2; ++fd) {
    if (fd == 1 && !output.empty()) {
      posix_spawn_file_actions_addopen(spawn.actions(), fd, output.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    } else {
      posix_spawn_file_actions_addopen(spawn.actions(), fd, "/dev/null",
                                       fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  const std::string folder = ToNativePath(workingFolder).string();
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(spawn.actions(), folder.c_str());

  pid_t pid = 0;
  const int error = posix_spawn(&pid, executable.c_str(), spawn.actions(), spawn.attributes(),
                                argv.data(), environ);
  if (error != 0) {
    result.error = WindowsErrorFromErrno(error);
    return result;
  }
  result.started = true;
  result.process = std::make_unique<HostChildProcess>(pid);
  return result;
}

int RunQuietly(std::vector<std::string> arguments) {
  if (arguments.empty()) return -1;
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  SpawnAttributes spawn;
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(spawn.actions(), fd, "/dev/null",
                                     fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], spawn.actions(), nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SpawnDetached(const std::filesystem::path& program) {
  std::string path = program.string();
  char* argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}

}  // namespace kestrune::platform::host
