// The simulated machine's lock on Windows (wine64): changes from several writers at once are
// each kept, as processes of both builds that share one machine folder rely on.
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/machine.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

TEST(MachineLockWin32Test, ConcurrentChangesAreNeverLost) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const fs::path folder =
      fs::path(temp) / ("kestrune-lock-test-" + std::to_string(GetCurrentProcessId()));
  fs::remove_all(folder);
  Machine machine(folder);
  ASSERT_TRUE(machine.Create(MachineDescription{}));

  // Each writer is its own Machine, with its own handle on the lock file, as another process.
  constexpr int kWriters = 4, kChanges = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&folder] {
      Machine own(folder);
      for (int i = 0; i < kChanges; ++i) {
        own.Modify([](MachineDescription& d) {
          ++d.diskpartRuns;
          return true;
        });
      }
    });
  }
  for (auto& writer : writers) writer.join();

  MachineDescription after;
  ASSERT_TRUE(machine.Read(after));
  EXPECT_EQ(after.diskpartRuns, static_cast<uint32_t>(kWriters * kChanges));
  std::error_code error;
  fs::remove_all(folder, error);
}

}  // namespace
}  // namespace kestrune::sim
