#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/window_port.h"

namespace kestrune {

/// How far Sabrel's check of a USB drive has got, from the progress file it keeps while it
/// runs (`-p`): one line "DONE TOTAL FILES\n", the bytes in decimal, and the files its list
/// names.
struct CheckProgress {
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
  uint64_t files = 0;
};

/// The figures of a progress file's text; nothing for anything but one whole line of three
/// numbers whose first is no larger than the second.
[[nodiscard]] std::optional<CheckProgress> ParseCheckProgress(std::string_view text);

/// Reads and parses the progress file at `path`; nothing when it is missing (Sabrel has not
/// written it yet), unreadable or does not parse. Reads at most a few dozen bytes: the file
/// lies in the run's private work area, but a line longer than any two numbers is refused.
[[nodiscard]] std::optional<CheckProgress> ReadCheckProgress(const std::wstring& path);

/// The message figures of the check's progress (WM_CHECK_PROGRESS): wParam the total in KiB,
/// rounded up, so never 0 for a check with anything to read; lParam the KiB done, the total
/// once everything has been read. Both fit 32 bits up to 2 TiB.
struct CheckProgressMessage {
  uintptr_t totalKiB = 0;
  intptr_t doneKiB = 0;
};
[[nodiscard]] CheckProgressMessage ToMessage(const CheckProgress& progress);

}  // namespace kestrune
