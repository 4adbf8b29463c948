// kestrune-disc-transcript: a burn scenario against the simulated machine, written as the
// transcript of disc-service calls and events that the Windows build must match when it burns
// into the fake IMAPI2 server (testing/disc_transcript.h).
//
//   kestrune-disc-transcript --list
//   kestrune-disc-transcript SCENARIO IMAGE
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/sim_ports.h"
#include "testing/disc_transcript.h"

namespace {

namespace fs = std::filesystem;
using kestrune::testing::DiscScenario;

// The default machine with its recorder set up for `scenario`.
bool PrepareMachine(kestrune::sim::Machine& machine, const DiscScenario& scenario,
                    std::string& error) {
  if (!kestrune::sim::CreateDefaultMachine(machine, &error)) return false;
  return machine.Modify(
      [&](kestrune::sim::MachineDescription& description) {
        auto& recorder = description.recorders.at(0);
        recorder.writeBytesPerSecond = kestrune::testing::kScenarioWriteBytesPerSecond;
        recorder.eventIntervalMs = kestrune::testing::kScenarioEventIntervalMs;
        if (!scenario.hasDisc) {
          recorder.disc.reset();
        } else {
          recorder.disc = kestrune::sim::DiscDescription{};
          recorder.disc->mediaType = scenario.discMediaType;
          recorder.disc->state = scenario.discState;
          recorder.disc->damaged = scenario.discDamaged;
        }
        if (!scenario.failCall.empty()) recorder.failCalls[scenario.failCall] = scenario.failCode;
        return true;
      },
      &error);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const auto& scenario : kestrune::testing::DiscScenarios())
      std::printf("%s\n", scenario.name.c_str());
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrune-disc-transcript --list | SCENARIO IMAGE\n");
    return 2;
  }
  const DiscScenario* scenario = kestrune::testing::FindDiscScenario(argv[1]);
  if (scenario == nullptr) {
    std::fprintf(stderr, "no scenario named %s\n", argv[1]);
    return 2;
  }

  const fs::path folder =
      fs::temp_directory_path() / ("kestrune-disc-transcript-" + std::to_string(::getpid()));
  int status = 0;
  {
    kestrune::sim::SimPorts ports(folder);
    std::string error;
    if (!PrepareMachine(ports.machine, *scenario, error)) {
      std::fprintf(stderr, "cannot make the machine: %s\n", error.c_str());
      status = 1;
    } else {
      const auto lines = kestrune::testing::BurnTranscript(
          ports.discService, kestrune::platform::FromNativePath(argv[2]), *scenario);
      for (const auto& line : lines) std::printf("%s\n", line.c_str());
    }
  }
  std::error_code removeError;
  fs::remove_all(folder, removeError);
  return status;
}
