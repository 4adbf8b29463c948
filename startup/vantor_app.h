#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "app/tool_services.h"
#include "platform/downloader.h"
#include "platform/process_setup.h"
#include "platform/repair_journal_store.h"
#include "platform/standard_output.h"
#include "platform/user_registry.h"

namespace kestrune {

/// The platform services start-up uses.
struct AppServices {
  ToolServices& tools;
  platform::Downloader& downloader;
  platform::StandardOutput& output;
  platform::ProcessSetup& setup;
  /// The repair journals of every run on this machine, and the registry their repair writes.
  platform::RepairJournalStore& journals;
  platform::UserRegistry& users;
};

/// The wizard branch of start-up: disc-service objects, the sheet and its pages, the result
/// line. Start-up calls it only when the command line named at least one existing source.
class WizardBranch {
 public:
  virtual ~WizardBranch() = default;
  virtual void Run(RunContext& context) = 0;
};

/// The application: the whole run happens inside InitInstance, which first undoes what runs
/// that died (a power cut, a kill) left behind, then parses the command line into the run
/// context, picks the mode and runs it to its end with a repair journal of its own.
class CVantorApp {
 public:
  /// `wizard` may be null in a build that has no wizard; the wizard mode then ends silently.
  CVantorApp(AppServices& services, WizardBranch* wizard);

  CVantorApp(const CVantorApp&) = delete;
  CVantorApp& operator=(const CVantorApp&) = delete;

  /// Runs the program for the split command line (`arguments[0]` is the program; an empty
  /// list stands for a command line that could not be split). Always returns false: the
  /// process ends when it returns.
  bool InitInstance(const std::vector<std::wstring>& arguments);

  /// The run context of the last run (zero-filled until InitInstance has run).
  const RunContext& context() const { return *context_; }

 private:
  void RunSevenZipBranch();

  AppServices& services_;
  WizardBranch* wizard_;
  std::unique_ptr<RunContext> context_ = std::make_unique<RunContext>();
};

}  // namespace kestrune
