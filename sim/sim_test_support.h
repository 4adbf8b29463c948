#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "sim/machine.h"
#include "test_support/test_files.h"

namespace kestrune::sim::testing {

/// A default machine in a fresh temporary folder, removed again at the end; its recorder
/// writes fast (100 MB/s, an event every 5 ms) so that burns take moments.
class TemporaryMachine {
 public:
  TemporaryMachine();
  ~TemporaryMachine();
  TemporaryMachine(const TemporaryMachine&) = delete;
  TemporaryMachine& operator=(const TemporaryMachine&) = delete;

  Machine& machine() { return machine_; }
  const std::filesystem::path& folder() const { return machine_.Folder(); }
  MachineDescription Read();
  /// Applies `change` to the description; fails the test when it cannot be written.
  void Change(const std::function<void(MachineDescription&)>& change);

 private:
  kestrune::testing::TempFolder folder_;
  Machine machine_;
};

/// A small sample set (two discs) made once per test program in the temporary folder.
const std::filesystem::path& SampleImage(int disc);

using kestrune::testing::ReadFile;

}  // namespace kestrune::sim::testing
