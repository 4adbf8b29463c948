#pragma once

#include <cstdint>
#include <string>

#include "app/run_context.h"
#include "app/tool_services.h"
#include "platform/auto_reset_event.h"

namespace kestrune {

/// The wizard's worker. Every child process of a job runs through it, so that the sheet's
/// stop event can cancel the cancellable ones.
class CVantorThread {
 public:
  CVantorThread(RunContext& context, ToolServices& services)
      : context_(context), services_(services) {}
  virtual ~CVantorThread() = default;

  CVantorThread(const CVantorThread&) = delete;
  CVantorThread& operator=(const CVantorThread&) = delete;

  /// Runs a carried tool or "cmd.exe" and waits for it; see kestrune::RunTool for the outcomes.
  bool RunTool(const std::wstring& program, const std::wstring& parameters,
               const std::wstring& folder, int* gotExitCode, uint32_t* exitCode,
               bool cancellable);

  /// Removes the comparison folder of the work folder.
  void CleanWorkFolder();

  RunContext& context() { return context_; }
  ToolServices& services() { return services_; }

  /// The sheet's auto-reset stop event; null for an owner that cannot be stopped.
  platform::AutoResetEvent* m_pStopEvent = nullptr;

 private:
  RunContext& context_;
  ToolServices& services_;
};

/// The owner of the Seven-Zip mode's single tool run: a worker that never runs as a thread
/// and has no stop event.
class CSevenZip : public CVantorThread {
 public:
  using CVantorThread::CVantorThread;
};

}  // namespace kestrune
