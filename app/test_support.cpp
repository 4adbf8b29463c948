#include "app/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
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

namespace {

class FakeLock : public platform::JournalLock {
 public:
  explicit FakeLock(bool& held) : held_(held) { held_ = true; }
  ~FakeLock() override { held_ = false; }

 private:
  bool& held_;
};

}  // namespace

bool FakeJournalStore::IsRunning(const platform::ProcessIdentity& process) {
  if (process == self) return true;
  for (const auto& other : live) {
    if (other == process) return true;
  }
  return false;
}

std::unique_ptr<platform::JournalLock> FakeJournalStore::Lock() {
  if (unusable) return nullptr;
  if (held) {
    ADD_FAILURE() << "the journal lock was taken while it was held";
    return nullptr;
  }
  ++locks;
  return std::make_unique<FakeLock>(held);
}

std::vector<std::string> FakeJournalStore::List() {
  std::vector<std::string> names;
  for (const auto& [name, text] : journals) names.push_back(name);
  return names;
}

bool FakeJournalStore::Read(const std::string& name, std::string& contents) {
  const auto found = journals.find(name);
  if (found == journals.end()) return false;
  contents = found->second;
  return true;
}

bool FakeJournalStore::Write(const std::string& name, const std::string& contents) {
  if (!held) ADD_FAILURE() << "a journal was written without the lock";
  if (failWrites) return false;
  ++writes;
  journals[name] = contents;
  return true;
}

bool FakeJournalStore::Remove(const std::string& name) {
  if (!held) ADD_FAILURE() << "a journal was removed without the lock";
  journals.erase(name);
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

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* before = std::getenv("TZ")) before_ = before;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (before_) {
    ::setenv("TZ", before_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace kestrune::testing
