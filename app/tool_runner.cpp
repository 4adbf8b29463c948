#include "app/tool_runner.h"

namespace kestrune {

bool RunTool(platform::ProcessLauncher& processes, platform::AutoResetEvent* stopEvent,
             const std::wstring& program, const std::wstring& parameters,
             const std::wstring& folder, int* gotExitCode, uint32_t* exitCode, bool cancellable,
             const std::wstring& outputFile, const std::function<void()>& eachSecond) {
  if (gotExitCode != nullptr) *gotExitCode = 0;
  if (exitCode != nullptr) *exitCode = 0;
  const bool wantsOutcome = gotExitCode != nullptr && exitCode != nullptr;

  auto start = outputFile.empty()
                   ? processes.StartHidden(program, parameters, folder)
                   : processes.StartHiddenWithOutput(program, parameters, folder, outputFile);
  if (!start.started) {
    if (exitCode != nullptr) *exitCode = start.error;
    return false;
  }
  platform::ChildProcess* child = start.process.get();
  if (child == nullptr) return true;

  constexpr uint32_t kWaitSliceMs = 1000;
  while (!child->WaitForExit(kWaitSliceMs)) {
    if (cancellable && stopEvent != nullptr && stopEvent->TryConsume()) {
      child->Terminate(kStoppedExitCode);
      if (wantsOutcome) {
        *gotExitCode = 1;
        *exitCode = kStoppedExitCode;
      }
      return false;
    }
    if (eachSecond) eachSecond();
  }
  if (wantsOutcome) {
    uint32_t code = 0;
    const bool read = child->ReadExitCode(code);
    *gotExitCode = read ? 1 : 0;
    if (read) *exitCode = code;
  }
  return true;
}

}  // namespace kestrune
