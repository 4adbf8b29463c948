#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestrune::platform {

/// A started child process. Destroying the object closes the handle; it never ends the
/// process (as closing a process handle on Windows does not).
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  /// Waits up to `milliseconds` for the process to end. True once it has ended.
  [[nodiscard]] virtual bool WaitForExit(uint32_t milliseconds) = 0;

  /// Ends the process (and on Linux the process group it leads) with `exitCode`.
  /// Returns once the process can no longer run.
  virtual void Terminate(uint32_t exitCode) = 0;

  /// The exit code of an ended process. False while it still runs or when the system cannot
  /// tell.
  [[nodiscard]] virtual bool ReadExitCode(uint32_t& exitCode) = 0;
};

/// Starts console programs hidden, as the Windows shell does with SW_HIDE.
///
/// `program` is an absolute path: a program is never searched for, in `workingFolder` or
/// anywhere else, and a name that is not absolute fails to start (error 2). The system's
/// command interpreter is cmd.exe in SystemInfo::SystemFolder() (on Linux, the simulated
/// machine's system folder, where the command-interpreter stand-in answers for it).
/// `parameters` is one string in the Windows command-line syntax, so callers build the same
/// parameter strings on every platform. The child does not inherit the caller's standard output: a child's
/// chatter never mixes with the result line the caller prints.
class ProcessLauncher {
 public:
  struct StartResult {
    bool started = false;
    /// Windows system error code of a failed start (2 = file not found, 5 = access denied...).
    uint32_t error = 0;
    /// Null when the system started the program but returned no process to wait for.
    std::unique_ptr<ChildProcess> process;
  };

  virtual ~ProcessLauncher() = default;
  [[nodiscard]] virtual StartResult StartHidden(const std::wstring& program,
                                                const std::wstring& parameters,
                                                const std::wstring& workingFolder) = 0;

  /// As StartHidden, with the child's standard output written to `outputFile`, which is
  /// created, or emptied when it exists: for a program whose answer is what it prints (7-Zip's
  /// listing of an archive). The caller reads the file once the child has ended.
  [[nodiscard]] virtual StartResult StartHiddenWithOutput(const std::wstring& program,
                                                          const std::wstring& parameters,
                                                          const std::wstring& workingFolder,
                                                          const std::wstring& outputFile) = 0;
};

}  // namespace kestrune::platform
