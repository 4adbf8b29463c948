#include "sim/sim_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "sim/default_machine.h"
#include "tools/sample_set.h"

namespace kestrune::sim::testing {
namespace {

namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  return fs::temp_directory_path() /
         (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
}

}  // namespace

TemporaryMachine::TemporaryMachine() : machine_(FreshFolder("kestrune-machine")) {
  std::string error;
  EXPECT_TRUE(CreateDefaultMachine(machine_, &error)) << error;
  Change([](MachineDescription& d) {
    d.recorders[0].writeBytesPerSecond = 100'000'000;
    d.recorders[0].eventIntervalMs = 5;
  });
}

TemporaryMachine::~TemporaryMachine() {
  std::error_code error;
  fs::remove_all(machine_.Folder(), error);
}

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
      options.folder = FreshFolder("kestrune-sampleset");
      options.partBytes = 2ull * 1024 * 1024;
      options.installParts = 3;
      options.dataParts = 1;
      std::string error;
      EXPECT_TRUE(tools::MakeSampleSet(options, set, error)) << error;
      folder = options.folder;
    }
    ~Set() {
      std::error_code error;
      fs::remove_all(folder, error);
    }
    tools::SampleSet set;
    fs::path folder;
  } sample;
  return sample.set.images.at(static_cast<size_t>(disc - 1));
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kestrune::sim::testing
