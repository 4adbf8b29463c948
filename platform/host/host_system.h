#pragma once

#include <filesystem>

#include "platform/clock.h"
#include "platform/downloader.h"
#include "platform/process_setup.h"
#include "platform/standard_output.h"
#include "platform/system_info.h"

namespace kestrune::platform::host {

/// The folder of the running program (/proc/self/exe); empty when it cannot be read.
std::filesystem::path ProgramFolder();

/// Linux runs 64-bit here, so the 64-bit tool builds are the ones to carry. The system folder
/// is the simulated machine's (sim::SystemFolder), where the command-interpreter stand-in
/// answers for cmd.exe, chcp.com and diskpart.exe.
class HostSystemInfo : public SystemInfo {
 public:
  HostSystemInfo() = default;
  explicit HostSystemInfo(std::filesystem::path systemFolder)
      : systemFolder_(std::move(systemFolder)) {}
  std::optional<bool> IsWow64Process() override { return true; }
  std::wstring SystemFolder() override;

 private:
  std::filesystem::path systemFolder_;
};

class HostClock : public Clock {
 public:
  void Pause(uint32_t milliseconds) override;
};

/// Starts `kestrixdl` from the program's own folder when it is installed there.
class HostDownloader : public Downloader {
 public:
  explicit HostDownloader(std::filesystem::path programFolder);
  bool Start() override;

 private:
  std::filesystem::path programFolder_;
};

class HostStandardOutput : public StandardOutput {
 public:
  void Write(std::string_view text) override;
};

/// Nothing to prepare on Linux.
class HostProcessSetup : public ProcessSetup {
 public:
  void Prepare() override {}
};

}  // namespace kestrune::platform::host
