#include "startup/wizard_startup.h"

#include <cstdio>

#include "app/program_version.h"
#include "app/report_files.h"
#include "app/report_record.h"
#include "app/run_report.h"
#include "app/work_folder.h"
#include "engine/worker_start.h"
#include "wizard/intro_pages.h"
#include "wizard/page_drive.h"
#include "wizard/page_write.h"
#include "wizard/string_ids.h"
#include "wizard/vantor_sheet.h"
#include "wizard/window_messages.h"

namespace kestrune {
namespace {

ReportLanguage ReportLanguageOf(Language language) {
  return language == Language::kJapanese ? ReportLanguage::kJapanese : ReportLanguage::kEnglish;
}

}  // namespace

/// Everything one run makes that the worker may use.
struct WizardStartup::RunParts {
  ImapiContext imapi;
  std::unique_ptr<platform::DataWriteEvents> sink;
  std::unique_ptr<WizardDevices> devices;
  std::unique_ptr<RunSteps> steps;
  std::unique_ptr<WorkerServices> worker;
  /// The report so far in the repair journal store, for the next start should this run be
  /// killed; null without a journal.
  std::unique_ptr<StoredReportRecord> record;
  /// Kept with the worker's parts: a worker left behind may still add to it.
  RunReport report;

  /// Releases the disc-service objects in the order sink, recorder, master, data writer.
  void Release() {
    imapi.ready = 0;
    imapi.sink = nullptr;
    sink.reset();
    imapi.recorder.reset();
    imapi.master = nullptr;
    imapi.format.reset();
  }
};

WizardStartup::WizardStartup(WizardStartupServices& services, WizardAssembly& assembly)
    : services_(services), assembly_(assembly) {}

WizardStartup::~WizardStartup() {
  // Parts a running worker still uses are never freed.
  if (workerAbandoned_) static_cast<void>(parts_.release());
}

void WizardStartup::Run(RunContext& context) {
  if (workerAbandoned_) return;
  lastResult_ = wizard_exit::kAborted;
  lastShown_ = false;
  parts_ = std::make_unique<RunParts>();
  RunParts& parts = *parts_;
  ImapiContext& imapi = parts.imapi;

  platform::HResult hr = platform::kS_OK;
  imapi.format = services_.discService.CreateDataWriter(hr);
  if (imapi.format) parts.sink = assembly_.MakeWriteEvents(imapi, context);
  if (parts.sink) {
    imapi.sink = parts.sink.get();
    imapi.recorder = services_.discService.CreateRecorder(hr);
  }
  if (imapi.recorder) imapi.master = &services_.discService;
  parts.devices = assembly_.MakeDevices(imapi, context);
  WizardContext wizard{context, imapi, services_.ui, *parts.devices, services_.language};
  if (imapi.master == nullptr) {
    parts.Release();
    wizard.Message(kStr457CouldNotOpenImapi, wm::kMbOk);
    return;
  }
  imapi.ready = 1;

  parts.steps = assembly_.MakeJobSteps(imapi, context);
  if (!parts.steps) {
    parts.Release();
    wizard.Message(kStr457CouldNotOpenImapi, wm::kMbOk);
    return;
  }
  parts.worker = std::make_unique<WorkerServices>(
      WorkerServices{services_.ui.post, services_.power, parts.steps->discs(), parts.steps->usb(),
                     parts.steps->checks()});
  SheetServices sheetServices{services_.tools, *parts.worker, services_.users};
  {
    CVantorSheet sheet(wizard, sheetServices);
    CPage_010_Start start(wizard);
    CPage_015_Info info(wizard);
    CPage_020_Drive drive(wizard);
    CPage_030_Write write(wizard);
    sheet.AddPage(start);
    sheet.AddPage(info);
    sheet.AddPage(drive);
    sheet.AddPage(write);

    parts.report.SetRun(context.discLabel.str(), context.discState);
    if (context.journal != nullptr) {
      parts.record = std::make_unique<StoredReportRecord>(*context.journal, WorkFolder(context),
                                                          ReportLanguageOf(services_.language));
      parts.report.SetRecorder(parts.record.get());
    }
    context.report = &parts.report;
    context.sheet = &sheet;
    lastResult_ = sheet.DoModal();
    context.sheet = nullptr;
    sheet.stopEvent().Set();

    if (!AwaitWorkerEnd(sheet.workerOwner())) {
      workerAbandoned_ = true;
      sheet.AbandonStopEvent();
    }
    lastShown_ = sheet.shown();
    // From here the report is written now or never: a worker left behind records no more
    // (the journal ends with this start).
    parts.report.SetRecorder(nullptr);
  }
  if (!workerAbandoned_) {
    context.report = nullptr;
    parts.Release();
  }
  imapi.ready = 0;

  // Before the result line: whoever reads that line finds the report already there.
  const bool reported = !parts.report.HasMedia() || WriteReport(context, parts.report);
  // A report that could not be written is left to the next start, which tries once.
  if (reported && parts.record) parts.record->Remove();

  // Decided by whether the wizard was shown, not by how it ended.
  if (lastShown_) {
    char line[16];
    std::snprintf(line, sizeof line, "%u\n", context.discState);
    services_.output.Write(line);
  }
}

bool WizardStartup::WriteReport(const RunContext& context, const RunReport& report) {
  ReportFacts facts =
      report.Facts(lastShown_ ? std::optional<uint32_t>(context.discState) : std::nullopt);
  facts.version = ProgramVersion();
  return !WriteReportFiles(services_.tools.files, WorkFolder(context), facts,
                           ReportLanguageOf(services_.language), CurrentSystemTime())
              .empty();
}

}  // namespace kestrune
