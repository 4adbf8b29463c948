#include "app/test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "platform/native_path.h"

namespace kestrune::testing {

TempFolder::TempFolder() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  do {
    path_ = base / ("kestrune-test-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
  std::error_code error;
  // Read-only entries must not survive the test that made them.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
  }
  std::filesystem::remove_all(path_, error);
}

std::wstring TempFolder::wide() const { return Wide(path_); }

std::filesystem::path TempFolder::WriteFile(const std::string& relative,
                                            const std::string& contents) {
  const auto file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << contents;
  return file;
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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

}  // namespace kestrune::testing
