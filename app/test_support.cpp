#include "app/test_support.h"

#include <fstream>

#include "platform/native_path.h"

namespace kestrune::testing {

std::wstring Wide(const std::filesystem::path& path) { return platform::FromNativePath(path); }

bool FakeChild::WaitForExit(uint32_t) {
  ++record_.waits;
  return script_.endsAfterWaits && record_.waits >= *script_.endsAfterWaits;
}

bool FakeChild::ReadExitCode(uint32_t& exitCode) {
  if (!script_.exitCodeReadable) return false;
  exitCode = script_.exitCode;
  return true;
}

platform::ProcessLauncher::StartResult FakeLauncher::StartHidden(
    const std::wstring& program, const std::wstring& parameters,
    const std::wstring& workingFolder) {
  calls.push_back({program, parameters, workingFolder});
  StartResult result;
  switch (outcome) {
    case Outcome::kCannotStart:
      result.error = startError;
      break;
    case Outcome::kNoProcess:
      result.started = true;
      break;
    case Outcome::kChild:
      result.started = true;
      result.process = std::make_unique<FakeChild>(child, childRecord);
      break;
  }
  return result;
}

bool FakeCarriedTools::WriteTool(int resourceId, const std::wstring& targetPath) {
  writes.emplace_back(resourceId, targetPath);
  std::ofstream(platform::ToNativePath(targetPath)) << "tool " << resourceId;
  return true;
}

bool FakeRestartCleanup::DeleteAtRestart(const std::wstring& path) {
  scheduled.push_back(path);
  return true;
}

std::vector<std::filesystem::path> TemporaryPrivateFolders::Left() const {
  std::vector<std::filesystem::path> left;
  std::error_code error;
  for (std::filesystem::directory_iterator it(root.path() / "Kestrune", error), end;
       !error && it != end; it.increment(error)) {
    left.push_back(it->path());
  }
  return left;
}

}  // namespace kestrune::testing
