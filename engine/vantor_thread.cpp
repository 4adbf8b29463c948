#include "engine/vantor_thread.h"

#include "app/tool_runner.h"
#include "app/work_folder.h"

namespace kestrune {

bool CVantorThread::RunTool(const std::wstring& program, const std::wstring& parameters,
                            const std::wstring& folder, int* gotExitCode, uint32_t* exitCode,
                            bool cancellable) {
  return kestrune::RunTool(services_.processes, m_pStopEvent, program, parameters, folder,
                           gotExitCode, exitCode, cancellable);
}

void CVantorThread::CleanWorkFolder() { kestrune::CleanWorkFolder(context_, services_.processes); }

}  // namespace kestrune
