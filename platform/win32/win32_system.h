#pragma once

#include "platform/clock.h"
#include "platform/downloader.h"
#include "platform/process_setup.h"
#include "platform/restart_cleanup.h"
#include "platform/standard_output.h"
#include "platform/system_info.h"

namespace kestrune::platform::win32 {

class Win32SystemInfo : public SystemInfo {
 public:
  std::optional<bool> IsWow64Process() override;
  /// GetSystemDirectoryW: the 32-bit product sees the folder its file-system redirection maps.
  std::wstring SystemFolder() override;
};

class Win32RestartCleanup : public RestartCleanup {
 public:
  bool DeleteAtRestart(const std::wstring& path) override;
};

class Win32Clock : public Clock {
 public:
  void Pause(uint32_t milliseconds) override;
};

/// The folder of the running program's file (GetModuleFileNameW), without a closing
/// backslash; empty when the system cannot say.
[[nodiscard]] std::wstring RunningProgramFolder();

/// Starts KestrixDl.exe from the running program's own folder, never by a search.
class Win32Downloader : public Downloader {
 public:
  bool Start() override;
};

class Win32StandardOutput : public StandardOutput {
 public:
  void Write(std::string_view text) override;
};

class Win32ProcessSetup : public ProcessSetup {
 public:
  void Prepare() override;
};

}  // namespace kestrune::platform::win32
