#pragma once

#include <chrono>
#include <memory>

#include "engine/vantor_thread.h"

namespace kestrune {

/// The sheet's start of its worker: resets the stop event, creates the worker thread
/// suspended, hands it the report window and the stop event, runs the source survey into
/// `surveyResult` and resumes the thread. Null when the thread cannot be created; the survey
/// has not run then.
std::unique_ptr<CVantorThread> StartWorker(RunContext& context, ToolServices& tools,
                                           WorkerServices& services,
                                           platform::AutoResetEvent& stopEvent,
                                           WindowHandle reportWindow);

/// Shutdown's wait for the worker: checks at once and then after each of at most `pauses`
/// pauses of `pause`. A worker that has ended is destroyed; one that has not is abandoned to
/// the ending process (its object is deliberately never freed, as its thread still uses it).
/// True when the worker ended in time.
[[nodiscard]] bool AwaitWorkerEnd(std::unique_ptr<CVantorThread>& worker,
                                  std::chrono::milliseconds pause = std::chrono::milliseconds(1000),
                                  int pauses = 5);

}  // namespace kestrune
