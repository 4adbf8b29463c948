#include "sim/sim_test_support.h"

#include <gtest/gtest.h>

#include "sim/default_machine.h"
#include "tools/sample_set.h"

namespace kestrune::sim::testing {

namespace fs = std::filesystem;

TemporaryMachine::TemporaryMachine() : machine_(folder_.path() / "machine") {
  std::string error;
  EXPECT_TRUE(CreateDefaultMachine(machine_, &error)) << error;
  Change([](MachineDescription& d) {
    d.recorders[0].writeBytesPerSecond = 100'000'000;
    d.recorders[0].eventIntervalMs = 5;
  });
}

TemporaryMachine::~TemporaryMachine() = default;

MachineDescription TemporaryMachine::Read() {
  MachineDescription description;
  std::string error;
  EXPECT_TRUE(machine_.Read(description, &error)) << error;
  return description;
}

void TemporaryMachine::Change(const std::function<void(MachineDescription&)>& change) {
  std::string error;
  ASSERT_TRUE(machine_.Modify(
      [&](MachineDescription& d) {
        change(d);
        return true;
      },
      &error))
      << error;
  CreateMachineFolders(machine_, Read());
}

const fs::path& SampleImage(int disc) {
  static const struct Set {
    Set() {
      tools::SampleSetOptions options;
      options.folder = temporary.path() / "set";
      options.partBytes = 2ull * 1024 * 1024;
      options.installParts = 3;
      options.dataParts = 1;
      std::string error;
      EXPECT_TRUE(tools::MakeSampleSet(options, set, error)) << error;
    }
    kestrune::testing::TempFolder temporary;
    tools::SampleSet set;
  } sample;
  return sample.set.images.at(static_cast<size_t>(disc - 1));
}

}  // namespace kestrune::sim::testing
