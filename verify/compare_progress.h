#pragma once

#include <cstdint>

#include "platform/window_port.h"

namespace kestrune {

/// Posted to the progress window during a comparison: wParam the phase (1 before the walk,
/// 2 while it runs, 3 after it), lParam the progress in per mille (low 32 bits). The value
/// may exceed 1000, as the expected total is an estimate; the receiver clamps it.
inline constexpr uint32_t WM_COMPARE_PROGRESS = 0x9110;

/// Results of a comparison; the walk stops at the first non-zero one.
enum CompareResult : uint32_t {
  COMPARE_EQUAL = 0,
  COMPARE_DIFFERENT = 1,    ///< lengths or contents differ, or a read failed
  COMPARE_OPEN_FAILED = 2,  ///< a file exists but cannot be opened for reading
  COMPARE_MISSING = 3,      ///< the reference file or its counterpart does not exist
};

/// Progress of the running comparison, counted in 512-byte blocks. The caller sets
/// `progressWindow` and clears the rest before CompareTrees; CompareTrees returns it to idle.
struct CompareProgress {
  WindowHandle progressWindow = nullptr;
  uint32_t enabled = 0;
  uint64_t blockCount = 0;
  uint64_t blocksDone = 0;
  uint64_t current = 0;
  uint64_t lastPosted = 0;
};

}  // namespace kestrune
