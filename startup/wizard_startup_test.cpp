#include "startup/wizard_startup.h"

#include <gtest/gtest.h>

#include "sim/sim_ports.h"
#include "sim/sim_test_support.h"
#include "wizard/vantor_sheet.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune {
namespace {

class NoEvents : public platform::DataWriteEvents {
 public:
  void Update(platform::DiscDataWriter&, platform::DataWriteProgress*) override {}
};

class ScriptedRunSteps : public RunSteps {
 public:
  ScriptedRunSteps(testing::Timeline& timeline, platform::host::RecordingPowerRequests& power)
      : steps_(timeline, power) {}
  DiscWritingSteps& discs() override { return steps_; }
  UsbWritingStep& usb() override { return steps_; }
  VerificationSteps& checks() override { return steps_; }

 private:
  testing::ScriptedSteps steps_;
};

/// Start-up on the simulated machine's disc service, with fake devices and scripted steps.
class WizardStartupTest : public ::testing::Test,
                          public WizardAssembly,
                          public ui::host::ScreenObserver {
 protected:
  WizardStartupTest() {
    SetRunContextDefaults(context);
    context.sources[0].path.Assign(testing::Wide(folder.WriteFile("set/disc1.iso", "image")));
    context.sourceCount = 1;
    context.discState = 0x20000100 | 11;
    toolkit.SetObserver(this);
  }

  std::unique_ptr<WizardDevices> MakeDevices(ImapiContext&, const RunContext&) override {
    return std::make_unique<testing::FakeDevices>();
  }
  std::unique_ptr<RunSteps> MakeJobSteps(ImapiContext& imapi, RunContext&) override {
    seenImapi = &imapi;
    readyWhenBuilt = imapi.ready;
    if (!stepsAvailable) return nullptr;
    return std::make_unique<ScriptedRunSteps>(timeline, power);
  }
  std::unique_ptr<platform::DataWriteEvents> MakeWriteEvents(ImapiContext&, RunContext&) override {
    if (!sinkAvailable) return nullptr;
    return std::make_unique<NoEvents>();
  }
  void OnMessageBoxOpened(const ui::host::MessageBoxState& box) override {
    boxes.push_back(box.id);
    static_cast<void>(toolkit.AnswerBox(box.DefaultButton()));
  }

  /// What the user does once the wizard shows.
  void OnceShown(std::function<void()> action) { toolkit.loop().PostInput(std::move(action)); }
  void Run() { startup.Run(context); }

  sim::testing::TemporaryMachine machine;
  sim::SimPorts ports{machine.folder()};
  testing::TempFolder folder;
  RunContext context{};
  ui::host::HostToolkit toolkit;
  testing::FakePlatform platform;
  testing::Timeline timeline;
  platform::host::RecordingPowerRequests power;
  testing::FakeUserRegistry users;
  WizardStartupServices services{toolkit.ports(), ports.discService, platform.tools, power,
                                 users,           platform.output};
  WizardStartup startup{services, *this};
  std::vector<uint32_t> boxes;
  bool sinkAvailable = true;
  bool stepsAvailable = true;
  ImapiContext* seenImapi = nullptr;
  uint32_t readyWhenBuilt = 0;
};

TEST_F(WizardStartupTest, ClosingTheShownWizardPrintsTheStateWord) {
  OnceShown([&] { static_cast<void>(toolkit.RequestClose()); });
  Run();
  EXPECT_TRUE(startup.LastRunShown());
  EXPECT_EQ(platform.output.written, "536871179\n");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(readyWhenBuilt, 1u) << "the disc-service objects exist before the sheet";
  EXPECT_FALSE(startup.WorkerAbandoned());
  EXPECT_EQ(context.sheet.load(), nullptr);
  EXPECT_EQ(context.sheetWnd.load(), nullptr);
}

TEST_F(WizardStartupTest, AFailureAfterTheWizardShowedStillPrintsTheLine) {
  OnceShown([&] {
    context.discState |= 0x200;
    context.sheet.load()->Terminate(wizard_exit::kAborted, 0, L"");
  });
  Run();
  EXPECT_EQ(startup.LastResult(), wizard_exit::kAborted);
  EXPECT_EQ(platform.output.written, "536871691\n");
}

TEST_F(WizardStartupTest, WithoutTheDiscServiceMessage457AndNoLine) {
  machine.Change(
      [](sim::MachineDescription& d) { d.faults.discService["CreateRecorder"] = 0x80040154; });
  Run();
  EXPECT_EQ(boxes, std::vector<uint32_t>{457});
  EXPECT_FALSE(startup.LastRunShown());
  EXPECT_TRUE(platform.output.written.empty());
  EXPECT_EQ(seenImapi, nullptr) << "no worker, no steps";
}

TEST_F(WizardStartupTest, WithoutAProgressReceiverMessage457) {
  sinkAvailable = false;
  Run();
  EXPECT_EQ(boxes, std::vector<uint32_t>{457});
  EXPECT_TRUE(platform.output.written.empty());
}

TEST_F(WizardStartupTest, WithoutJobStepsMessage457AndTheObjectsReleased) {
  stepsAvailable = false;
  Run();
  EXPECT_EQ(boxes, std::vector<uint32_t>{457});
  EXPECT_TRUE(platform.output.written.empty());
  EXPECT_EQ(seenImapi->ready.load(), 0u);
}

TEST_F(WizardStartupTest, SourcesThatVanishedBeforeTheSurveyShowNothing) {
  std::filesystem::remove(folder.path() / "set/disc1.iso");
  Run();
  EXPECT_EQ(startup.LastResult(), wizard_exit::kAborted);
  EXPECT_FALSE(startup.LastRunShown());
  EXPECT_TRUE(platform.output.written.empty());
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace kestrune
