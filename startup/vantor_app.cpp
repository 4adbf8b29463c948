#include "startup/vantor_app.h"

#include "app/carried_tool_files.h"
#include "app/command_line.h"
#include "app/dead_run_repair.h"
#include "app/killed_run_report.h"
#include "app/repair_journal.h"
#include "app/seven_zip_command.h"
#include "app/tool_runner.h"
#include "app/work_area.h"
#include "app/work_folder.h"
#include "engine/vantor_thread.h"

namespace kestrune {

CVantorApp::CVantorApp(AppServices& services, WizardBranch* wizard)
    : services_(services), wizard_(wizard) {}

bool CVantorApp::InitInstance(const std::vector<std::wstring>& arguments) {
  services_.setup.Prepare();
  RepairJournal journal(services_.journals);
  // Before anything else, in every mode: what a run that died left changed is put back.
  static_cast<void>(RepairDeadRuns(journal, services_.users, services_.tools.files));
  // And a run that was killed while it worked on media still leaves its report.
  static_cast<void>(WriteKilledRunReports(journal, services_.tools.files, CurrentSystemTime()));
  context_ = std::make_unique<RunContext>();
  SetRunContextDefaults(*context_);
  context_->journal = &journal;
  switch (ParseCommandLine(arguments, *context_)) {
    case LaunchMode::kSevenZip:
      RunSevenZipBranch();
      break;
    case LaunchMode::kWizard:
      if (context_->sourceCount > 0 && wizard_ != nullptr) wizard_->Run(*context_);
      break;
    case LaunchMode::kNone:
      static_cast<void>(services_.downloader.Start());  // nothing is reported either way
      break;
  }
  context_->journal = nullptr;
  return false;
}

void CVantorApp::RunSevenZipBranch() {
  if (context_->sourceCount == 0 || context_->password.empty()) return;
  RunWorkArea area(services_.tools, *context_);
  if (!area.ready()) return;
  CSevenZip owner(*context_, services_.tools);
  const std::wstring folder = WorkFolder(*context_);
  // The tools go into the run's private work area and run from there; only the archive's
  // files are unpacked into its folder.
  ExtractTools(services_.tools, context_->workArea.str());

  // The field limits keep this well inside the 1,024-character parameter buffer.
  const std::wstring parameters =
      SevenZipExtractFlat(context_->sources[0].path.str(), context_->password.str(), folder);
  int gotExitCode = 0;
  uint32_t exitCode = 0;
  const bool ran = owner.RunTool(CarriedToolPath(*context_, kSevenZipProgram), parameters, folder,
                                 &gotExitCode, &exitCode, false);
  if (RunSucceeded(ran, gotExitCode, exitCode)) services_.output.Write("1\n");
}

}  // namespace kestrune
