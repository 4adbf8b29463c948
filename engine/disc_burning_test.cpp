// Burning a sample set image on a temporary simulated machine, through the worker's disc job.
#include "engine/disc_burning.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/test_support.h"
#include "app/work_area.h"
#include "devices/recorders.h"
#include "engine/job_protocol.h"
#include "engine/job_test_support.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_system.h"
#include "platform/host/window_table.h"
#include "platform/native_path.h"
#include "sim/sim_disc_service.h"
#include "sim/sim_disc_writer.h"
#include "sim/sim_test_support.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
namespace imapi = platform::imapi;
using Events = std::vector<std::string>;
using sim::DiscDescription;
using sim::MachineDescription;

// The sheet's window, with a hook that acts when a given write action is posted: the user
// confirming a close at that moment.
class SheetWindows : public platform::host::WindowTable {
 public:
  bool Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) override {
    if (code == WM_WRITE_ACTION && static_cast<int32_t>(wParam) == hookAction && hook) {
      std::exchange(hook, nullptr)();
    }
    return WindowTable::Post(window, code, wParam, lParam);
  }
  int32_t hookAction = -1;
  std::function<void()> hook;
};

// Pauses are recorded, not waited for; one of them can stand for a moment during extraction.
class HookClock : public platform::Clock {
 public:
  void Pause(uint32_t) override {
    ++pauses;
    if (hook) std::exchange(hook, nullptr)();
  }
  std::function<void()> hook;
  int pauses = 0;
};

class NoOtherSteps : public UsbWritingStep, public VerificationSteps {
 public:
  uint32_t WriteUsbDrive(CVantorThread&) override { return RESULT_OK; }
  bool MarkIncomplete(CVantorThread&) override { return false; }
  uint32_t RunDiscCompare(CVantorThread&, uint32_t) override { return RESULT_OK; }
  uint32_t RunUsbMd5Check(CVantorThread&) override { return RESULT_OK; }
  uint32_t RunUsbCompare(CVantorThread&) override { return RESULT_OK; }
};

class DiscBurningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The user's image folder, with files of the user's own that must survive.
    for (int disc : {1, 2}) {
      const fs::path image = images.path() / ("disc" + std::to_string(disc) + ".iso");
      fs::copy_file(sim::testing::SampleImage(disc), image);
      context.sources[static_cast<size_t>(disc - 1)].path.Assign(platform::FromNativePath(image));
    }
    context.sourceCount = 2;
    SetRunContextDefaults(context);
    images.WriteFile("setup.exe", "the user's installer");
    images.WriteFile("helper.dll", "the user's library");
    images.WriteFile("7z.exe", "the user's own 7-Zip");
    before = Listing();

    HResult hr;
    imapi.master = &service;
    imapi.recorder = service.CreateRecorder(hr);
    imapi.format = service.CreateDataWriter(hr);
    imapi.sink = &sink;
    imapi.ready = 1;
    ASSERT_TRUE(BindRecorder(imapi, L'E', kMediaDvdRDualLayer));
    context.sheetWnd = sheet;
    worker.m_pReportWnd = sheet;
    worker.m_pStopEvent = &stopEvent;
  }

  // The disc job for `disc` as the worker runs it; what the sheet received, with a run of
  // verifying events shown once.
  Events RunDiscJob(uint32_t disc) {
    worker.RunJob(JobWriteDisc(disc), static_cast<intptr_t>(disc | (2u << 16)));
    Events events;
    for (const auto& m : windows.TakeAll(sheet)) {
      std::string event = m.code == WM_WRITE_ACTION
                              ? "action " + std::to_string(m.wParam)
                              : testing::DescribeReport(m.code, m.wParam, m.lParam);
      if (event == "action 7" && !events.empty() && events.back() == "action 7...") continue;
      events.push_back(event == "action 7" ? "action 7..." : event);
    }
    return events;
  }
  std::set<std::string> Listing() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(images.path())) {
      names.insert(entry.path().filename().string() + " " +
                   testing::ReadFile(entry.path()).substr(0, 20));
    }
    return names;
  }
  sim::RecorderDescription Recorder() { return temp.Read().recorders[0]; }
  sim::SimDataWriter& Writer() { return static_cast<sim::SimDataWriter&>(*imapi.format); }
  void InsertDisc(const DiscDescription& disc) {
    temp.Change([&](MachineDescription& d) { d.recorders[0].disc = disc; });
  }

  sim::testing::TemporaryMachine temp;
  sim::SimDiscService service{temp.machine()};
  testing::TempFolder images;
  std::set<std::string> before;
  RunContext context;
  ImapiContext imapi;

  platform::host::HostProcessLauncher processes{fs::path(KESTRUNE_BIN_DIR) / "kestrune-cmd",
                                                temp.machine().SystemFolder()};
  platform::host::HostCarriedTools carriedTools{fs::path(KESTRUNE_BIN_DIR) / "tools"};
  platform::host::HostSystemInfo systemInfo{temp.machine().SystemFolder()};
  testing::FakeRestartCleanup restartCleanup;
  HookClock clock;
  testing::TemporaryPrivateFolders privateFolders;
  ToolServices tools{processes, carriedTools,         systemInfo,
                     restartCleanup, clock, privateFolders.files, privateFolders.folders};
  RunWorkArea workArea{tools, context};

  SheetWindows windows;
  WindowHandle sheet = windows.Create();
  platform::host::RecordingPowerRequests power;
  platform::AutoResetEvent stopEvent;
  CEventDataWriter sink{context, windows};
  DiscBurningSteps burning{imapi, sink, power};
  NoOtherSteps others;
  WorkerServices services{windows, power, burning, others, others};
  CVantorThread worker{context, tools, services};
};

TEST_F(DiscBurningTest, EachImageIsBurnedExactlyWithTheRequiredSettingsAndEjected) {
  const Events expected{"start DISC_JOB", "start BURN",     "action 0",    "action 2",
                        "action 4",       "action 5",       "action 7...", "action 6",
                        "end BURN OK",    "end DISC_JOB OK"};
  for (uint32_t disc : {1u, 2u}) {
    SCOPED_TRACE("disc " + std::to_string(disc));
    EXPECT_EQ(RunDiscJob(disc), expected) << "each burn has its first writing event posted";

    const auto recorder = Recorder();
    const fs::path image = platform::ToNativePath(context.sources[disc - 1].path.str());
    ASSERT_TRUE(recorder.lastWrite.has_value());
    const sim::WriteRecord& write = *recorder.lastWrite;
    EXPECT_EQ(write.clientName, "Kestrix");
    EXPECT_EQ(write.writeSpeed, 0xFFFFFFFFu);
    EXPECT_EQ(write.pureCav, recorder.pureCav);
    EXPECT_EQ(write.verificationLevel, imapi::kVerificationFull);
    EXPECT_TRUE(write.forceMediaToBeClosed);
    EXPECT_FALSE(write.forceOverwrite);
    EXPECT_EQ(write.imageBytes, fs::file_size(image));
    EXPECT_EQ(write.result, platform::kS_OK);
    EXPECT_EQ(write.actions[imapi::kActionVerifying], context.verifyTicks);
    EXPECT_EQ(recorder.ejectCount, disc) << "ejected after the job";
    EXPECT_EQ(testing::ReadFile(temp.folder() / "discs" / ("E-" + std::to_string(disc) + ".iso")),
              testing::ReadFile(image));

    EXPECT_EQ(context.imageSizeMB, fs::file_size(image) >> 20);
    EXPECT_EQ(context.sectorCount, fs::file_size(image) / 2048);
    EXPECT_EQ(context.lastWrittenLba, context.sectorCount);
    EXPECT_FALSE(context.writeStartTime.IsZero());
    EXPECT_GE(context.finalizeTime.Milliseconds(), context.writeStartTime.Milliseconds());
  }
  EXPECT_EQ(sink.cookie, CEventDataWriter::kNotConnected);
  EXPECT_EQ(Writer().connections(), 0u);
  EXPECT_EQ(power.ActiveRequests(), 0);
  EXPECT_EQ(clock.pauses, 4) << "the four tools, written once into the run's work area";
  EXPECT_EQ(Listing(), before) << "the image folder is never written";
}

TEST_F(DiscBurningTest, SwitchesAndRewritableDiscs) {
  context.noBurnVerify = 1;
  EXPECT_EQ(RunDiscJob(1),
            (Events{"start DISC_JOB", "start BURN", "action 0", "action 2", "action 4", "action 5",
                    "action 6", "end BURN OK", "end DISC_JOB OK"}));
  EXPECT_EQ(Recorder().lastWrite->verificationLevel, imapi::kVerificationNone);
  context.noBurnVerify = 0;

  DiscDescription used;
  used.mediaType = imapi::kMediaTypeDvdMinusRw;
  used.state = "closed";
  InsertDisc(used);
  EXPECT_EQ(burning.BurnDisc(worker, 2), RESULT_OK);
  EXPECT_TRUE(Recorder().lastWrite->forceOverwrite) << "a used rewritable disc is overwritten";
  InsertDisc(DiscDescription{});
  EXPECT_EQ(burning.BurnDisc(worker, 2), RESULT_OK);
  EXPECT_FALSE(Recorder().lastWrite->forceOverwrite) << "not carried over to a DVD-R DL";

  context.noWrite = 1;
  InsertDisc(DiscDescription{});
  windows.TakeAll(sheet);
  const uint32_t writes = Recorder().writeCount;
  EXPECT_EQ(RunDiscJob(1),
            (Events{"start DISC_JOB", "start BURN", "end BURN OK", "end DISC_JOB OK"}));
  EXPECT_EQ(Recorder().writeCount, writes) << "/NW: nothing written";
  EXPECT_EQ(Recorder().ejectCount, 2u) << "the disc is still ejected";
  EXPECT_EQ(Listing(), before);
}

// A cancel (the user confirming a close) at each point of the burn: the burn fails, and the
// disc is failed once the write has touched it, blank before.
TEST_F(DiscBurningTest, CancelAtEachPoint) {
  const auto cancel = [this] {
    context.cancelRequested = 1;
    imapi.exitRequested = 1;
  };
  struct Case {
    const char* when;
    std::function<void()> arm;
    bool discTouched;
  };
  const Case cases[] = {
      {"during the tool extraction", [&] { clock.hook = cancel; }, false},
      {"mid-write", [&] { windows.hookAction = 4, windows.hook = cancel; }, true},
      {"during verification", [&] { windows.hookAction = 7, windows.hook = cancel; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    InsertDisc(DiscDescription{});
    imapi.exitRequested = 0;
    const uint32_t writes = Recorder().writeCount;
    c.arm();
    EXPECT_EQ(burning.BurnDisc(worker, 1), RESULT_BURN_FAILED);
    const auto disc = Recorder().disc;
    EXPECT_EQ(sim::MediaStatusOf(*disc) & imapi::kMediaBlank,
              c.discTouched ? 0u : imapi::kMediaBlank);
    EXPECT_EQ(disc->damaged, c.discTouched);
    EXPECT_EQ(Recorder().writeCount, writes + (c.discTouched ? 1 : 0));
    if (c.discTouched) {
      EXPECT_EQ(Recorder().lastWrite->result, imapi::kE_REQUEST_CANCELLED);
      EXPECT_EQ(context.cancelRequested, 0u) << "passed on to the writer";
    }
    EXPECT_EQ(imapi.burning, 0u);
    EXPECT_EQ(Listing(), before);
  }

  // A cancel left from before the job is not this burn's.
  InsertDisc(DiscDescription{});
  imapi.exitRequested = 0;
  context.cancelRequested = 1;
  EXPECT_EQ(burning.BurnDisc(worker, 1), RESULT_OK);
}

TEST_F(DiscBurningTest, StopAndDiscNumbersOutOfRangeTouchNothing) {
  stopEvent.Set();
  EXPECT_EQ(RunDiscJob(1),
            (Events{"start DISC_JOB", "start BURN", "end BURN STOPPED", "end DISC_JOB STOPPED"}));
  EXPECT_TRUE(worker.QuitRequested());
  EXPECT_EQ(Recorder().ejectCount, 1u) << "the job still ejects";

  for (uint32_t disc : {0u, 3u, 9u, 10u, 0x10001u}) {
    EXPECT_EQ(burning.BurnDisc(worker, disc), RESULT_BURN_FAILED) << disc;
  }
  EXPECT_EQ(Recorder().writeCount, 0u);
  EXPECT_EQ(Listing(), before) << "no tool written";
  EXPECT_EQ(power.Calls().size(), 6u) << "only the job's own power request";
}

TEST_F(DiscBurningTest, DiscServiceFailuresAndTheCallsWhoseFailureIsIgnored) {
  context.noWrite = 1;  // everything up to the write call
  const auto burnWith = [&](sim::FailedCalls recorderFaults, sim::FailedCalls serviceFaults = {}) {
    temp.Change([&](MachineDescription& d) {
      d.recorders[0].failCalls = recorderFaults;
      d.faults.discService = serviceFaults;
    });
    const HResult hr = burning.BurnImage(context, 0);
    EXPECT_EQ(sink.cookie, CEventDataWriter::kNotConnected);
    return hr;
  };
  for (const char* call : {"GetCurrentRotationTypeIsPureCAV", "SetWriteSpeed",
                           "PutBurnVerificationLevel", "PutForceMediaToBeClosed", "Advise"}) {
    EXPECT_EQ(burnWith({{call, 0xC0AA0205}}), 0xC0AA0205u) << call;
  }
  EXPECT_EQ(burnWith({}, {{"GetSize", 0x80030005}}), 0x80030005u);
  for (HResult adjusted :
       {imapi::kS_SPEED_ADJUSTED, imapi::kS_ROTATION_ADJUSTED, imapi::kS_BOTH_ADJUSTED}) {
    EXPECT_EQ(burnWith({{"SetWriteSpeed", adjusted}}), platform::kS_OK) << adjusted;
  }
  for (const char* call : {"PutClientName", "GetCurrentPhysicalMediaType", "PutForceOverwrite"}) {
    EXPECT_EQ(burnWith({{call, 0xC0AA0205}}), platform::kS_OK) << call;
  }

  EXPECT_EQ(burnWith({{"Unadvise", 0x80040200}}), platform::kS_OK);
  EXPECT_EQ(Writer().connections(), 1u);
  EXPECT_EQ(burnWith({}), platform::kS_OK);
  EXPECT_EQ(Writer().connections(), 0u) << "the stale connection is undone before the next";

  context.noWrite = 0;
  imapi.exitRequested = 1;
  EXPECT_EQ(burnWith({}), platform::kE_ABORT) << "no write starts once the user is leaving";
  imapi.exitRequested = 0;
  context.sources[0].path.Assign(L"/no/such/image.iso");
  EXPECT_EQ(burnWith({}), platform::kE_FILE_NOT_FOUND);
  imapi.ready = 0;
  EXPECT_EQ(burning.BurnImage(context, 1), platform::kE_FAIL);
}

// The worker writes on its thread, the disc service reports on its own, and the page reads
// the progress on the UI thread and cancels; under ThreadSanitizer this reports nothing.
TEST_F(DiscBurningTest, PageReadsProgressAndCancelsFromTheUiThread) {
  temp.Change([](MachineDescription& d) { d.recorders[0].writeBytesPerSecond = 20'000'000; });
  std::atomic<bool> ended{false};
  std::thread job([&] {
    worker.RunJob(JobWriteDisc(1), 1);
    ended = true;
  });
  bool cancelled = false;
  while (!ended) {
    if (!cancelled && context.lastWrittenLba > 0 && context.finalizeTime.IsZero()) {
      cancelled = true;
      context.cancelRequested = 1;
      imapi.exitRequested = 1;
    }
    if (!context.finalizeTime.IsZero()) {
      EXPECT_EQ(context.lastWrittenLba, context.sectorCount) << "set before the time";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  job.join();
  EXPECT_TRUE(cancelled);
  const auto messages = windows.TakeAll(sheet);
  EXPECT_EQ(
      testing::DescribeReport(messages.back().code, messages.back().wParam, messages.back().lParam),
      "end DISC_JOB BURN_FAILED");
}

}  // namespace
}  // namespace kestrune
