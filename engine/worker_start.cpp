#include "engine/worker_start.h"

#include <vector>

#include "engine/source_survey.h"

namespace kestrune {

std::unique_ptr<CVantorThread> StartWorker(RunContext& context, ToolServices& tools,
                                           WorkerServices& services,
                                           platform::AutoResetEvent& stopEvent,
                                           WindowHandle reportWindow) {
  stopEvent.Reset();
  auto worker = std::make_unique<CVantorThread>(context, tools, services);
  if (!worker->CreateSuspended()) return nullptr;
  worker->m_pStopEvent = &stopEvent;
  worker->m_pReportWnd = reportWindow;
  context.surveyResult = RunSourceSurvey(context);
  worker->Resume();
  return worker;
}

bool AwaitWorkerEnd(std::unique_ptr<CVantorThread>& worker, std::chrono::milliseconds pause,
                    int pauses) {
  if (!worker) return true;
  bool ended = worker->WaitForEnd(std::chrono::milliseconds(0));
  for (int i = 0; i < pauses && !ended; ++i) ended = worker->WaitForEnd(pause);
  if (ended) {
    worker.reset();
  } else {
    // The thread may still use its object: keep it, reachable and never destroyed, until the
    // process ends.
    static auto* abandoned = new std::vector<std::unique_ptr<CVantorThread>>();
    worker->AbandonRunningThread();
    abandoned->push_back(std::move(worker));
  }
  return ended;
}

}  // namespace kestrune
