#pragma once

// A burn as a sequence of disc-service calls and progress events, written down line by line,
// so that two implementations of the disc service can be compared on the same scenario: the
// simulated machine of the Linux build and the Windows build's IMAPI2 client burning into the
// fake IMAPI2 server under wine must write the same transcript.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/disc_service.h"

namespace kestrune::testing {

/// What is in the default machine's recorder (E:, a dual-layer DVD burner) and how the burn
/// is made. Both sides set the recorder up from this alone.
struct DiscScenario {
  std::string name;
  bool hasDisc = true;
  uint32_t discMediaType = platform::imapi::kMediaTypeDvdMinusRDualLayer;
  std::string discState = "blank";  // "blank", "appendable" or "closed"
  bool discDamaged = false;
  /// A call (named as in disc_service.h) that fails with `failCode`; empty: none.
  std::string failCall;
  platform::HResult failCode = 0;
  uint32_t verificationLevel = platform::imapi::kVerificationFull;
  /// The receiver cancels the write at the first writing-data event.
  bool cancelAtFirstWrite = false;
};

/// The recorder's speed in every scenario: fast, and the same on both sides, since the
/// number of progress events follows from it.
inline constexpr uint64_t kScenarioWriteBytesPerSecond = 100'000'000;
inline constexpr uint32_t kScenarioEventIntervalMs = 5;

const std::vector<DiscScenario>& DiscScenarios();
/// The scenario named `name`, or null.
const DiscScenario* FindDiscScenario(const std::string& name);

/// Drives `service` through the scenario on recorder 0, burning `imagePath`, as the program
/// does: the recorder walk, binding, the media checks, the burn's settings, the write with
/// its events, and the eject. One line per call ("Call -> 0xHHHHHHHH value") and per event.
std::vector<std::string> BurnTranscript(platform::DiscService& service,
                                        const std::wstring& imagePath,
                                        const DiscScenario& scenario);

}  // namespace kestrune::testing
