#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/process_launcher.h"

namespace kestrune::platform::host {

/// Real child processes through posix_spawn. The parameter string is split by the Windows
/// rules; cmd.exe in `systemFolder` (the simulated machine's) runs `commandInterpreter` (the
/// stand-in program). A program that is not an absolute path is never searched for: it fails
/// to start with error 2. Each child leads its own process group, so terminating it also ends
/// whatever it started, and its standard streams are /dev/null, as a hidden console's would
/// be invisible.
class HostProcessLauncher : public ProcessLauncher {
 public:
  HostProcessLauncher(std::filesystem::path commandInterpreter,
                      std::filesystem::path systemFolder);

  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& workingFolder) override;
  StartResult StartHiddenWithOutput(const std::wstring& program, const std::wstring& parameters,
                                    const std::wstring& workingFolder,
                                    const std::wstring& outputFile) override;

 private:
  StartResult Start(const std::wstring& program, const std::wstring& parameters,
                    const std::wstring& workingFolder, const std::wstring& outputFile);

  std::filesystem::path commandInterpreter_;
  std::filesystem::path systemFolder_;
};

/// Starts `program` with `arguments` in the background with inherited standard streams,
/// without waiting for it. False when it cannot be started.
bool SpawnDetached(const std::filesystem::path& program);

/// Runs `arguments[0]` (searched on PATH) with the other arguments and its standard streams on
/// /dev/null, and waits for it. Its exit code; -1 when it cannot be started or is killed.
int RunQuietly(std::vector<std::string> arguments);

/// The Windows system error code closest to a POSIX errno of a failed start.
uint32_t WindowsErrorFromErrno(int error);

}  // namespace kestrune::platform::host
