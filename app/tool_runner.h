#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/auto_reset_event.h"
#include "platform/process_launcher.h"

namespace kestrune {

/// The exit code a cancelled run reports, and the result code of a stopped step.
inline constexpr uint32_t kStoppedExitCode = 0xffff;

/// Starts `program` hidden with `parameters` in `folder` and waits for it to end.
///
/// | outcome                               | returns | *gotExitCode         | *exitCode          |
/// |---------------------------------------|---------|----------------------|--------------------|
/// | cannot be started                     | false   | 0                    | system error code  |
/// | ran to its end                        | true    | 1 if the code was read | the exit code    |
/// | cancelled by `stopEvent`              | false   | 1                    | 0xffff             |
/// | started, but no process to wait for   | true    | 0                    | 0                  |
///
/// Both out values are set to 0 first. The exit code and the cancel marks are stored only when
/// both are given; the error code of a failed start whenever `exitCode` is given. Only a
/// `cancellable` run with a `stopEvent` can be cancelled: it checks (and so consumes) the event
/// once a second while the child runs and ends the child with exit code 0xffff. Any other run
/// waits for the child however long it takes. With an `outputFile`, what the child prints goes
/// there (ProcessLauncher::StartHiddenWithOutput). `eachSecond`, when given, is called after
/// every second the child is still running (to pass on its progress, say).
[[nodiscard]] bool RunTool(platform::ProcessLauncher& processes,
                           platform::AutoResetEvent* stopEvent, const std::wstring& program,
                           const std::wstring& parameters, const std::wstring& folder,
                           int* gotExitCode, uint32_t* exitCode, bool cancellable,
                           const std::wstring& outputFile = {},
                           const std::function<void()>& eachSecond = {});

/// The one test callers apply to a run: it ended by itself with exit code 0.
[[nodiscard]] inline bool RunSucceeded(bool returned, int gotExitCode, uint32_t exitCode) {
  return returned && gotExitCode != 0 && exitCode == 0;
}

}  // namespace kestrune
