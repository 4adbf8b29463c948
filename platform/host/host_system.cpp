#include "platform/host/host_system.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/host/host_process_launcher.h"
#include "platform/native_path.h"

namespace kestrune::platform::host {

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

std::wstring HostSystemInfo::SystemFolder() { return FromNativePath(systemFolder_); }

void HostClock::Pause(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HostDownloader::HostDownloader(std::filesystem::path programFolder)
    : programFolder_(std::move(programFolder)) {}

bool HostDownloader::Start() {
  const auto program = programFolder_ / "kestrixdl";
  std::error_code error;
  if (programFolder_.empty() || !std::filesystem::is_regular_file(program, error)) return false;
  return SpawnDetached(program);
}

void HostStandardOutput::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace kestrune::platform::host
