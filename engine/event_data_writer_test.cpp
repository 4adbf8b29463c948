#include "engine/event_data_writer.h"

#include <gtest/gtest.h>

#include "engine/job_protocol.h"
#include "platform/host/window_table.h"

namespace kestrune {
namespace {

namespace imapi = platform::imapi;
using platform::HResult;
using platform::kS_OK;

// A writer that only counts cancels; the sink asks nothing else of it.
class CancelCountingWriter : public platform::DiscDataWriter {
 public:
  HResult PutRecorder(platform::DiscRecorder*) override { return kS_OK; }
  HResult GetSupportedMediaTypes(std::vector<uint32_t>&) override { return kS_OK; }
  HResult GetCurrentPhysicalMediaType(uint32_t&) override { return kS_OK; }
  HResult GetCurrentMediaStatus(uint32_t&) override { return kS_OK; }
  HResult PutClientName(const std::wstring&) override { return kS_OK; }
  HResult GetCurrentRotationTypeIsPureCAV(bool&) override { return kS_OK; }
  HResult SetWriteSpeed(uint32_t, bool) override { return kS_OK; }
  HResult PutBurnVerificationLevel(uint32_t) override { return kS_OK; }
  HResult PutForceMediaToBeClosed(bool) override { return kS_OK; }
  HResult PutForceOverwrite(bool) override { return kS_OK; }
  HResult Advise(platform::DataWriteEvents*, uint32_t&) override { return kS_OK; }
  HResult Unadvise(uint32_t) override { return kS_OK; }
  HResult Write(platform::DiscImageStream&) override { return kS_OK; }
  HResult CancelWrite() override { return ++cancels, kS_OK; }
  int cancels = 0;
};

struct Event : platform::DataWriteProgress {
  Event(int32_t action, int32_t sectors = 0, int32_t lba = 0)
      : action(action), sectors(sectors), lba(lba) {}
  HResult GetCurrentAction(int32_t& out) override { return Get(out, action); }
  HResult GetSectorCount(int32_t& out) override { return Get(out, sectors); }
  HResult GetLastWrittenLba(int32_t& out) override { return Get(out, lba); }
  HResult Get(int32_t& out, int32_t value) const {
    if (failing) return platform::kE_FAIL;
    out = value;
    return kS_OK;
  }
  int32_t action, sectors, lba;
  bool failing = false;
};

class EventSinkTest : public ::testing::Test {
 protected:
  EventSinkTest() { context.sheetWnd = sheet; }
  void Send(Event event) { sink.Update(writer, &event); }
  std::vector<uintptr_t> Posted() {
    std::vector<uintptr_t> actions;
    for (const auto& message : windows.TakeAll(sheet)) {
      EXPECT_EQ(message.code, WM_WRITE_ACTION);
      EXPECT_EQ(message.lParam, 0);
      actions.push_back(message.wParam);
    }
    return actions;
  }

  RunContext context;
  platform::host::WindowTable windows;
  WindowHandle sheet = windows.Create();
  CancelCountingWriter writer;
  CEventDataWriter sink{context, windows};
};

TEST_F(EventSinkTest, OneBurnInTheRunContextAndThePostsToTheSheet) {
  Send({imapi::kActionValidatingMedia});
  context.lastWrittenLba = 77;
  Send({imapi::kActionInitializingHardware});
  EXPECT_EQ(context.lastWrittenLba, 0u);
  Send({imapi::kActionWritingData, 1000, 100});
  EXPECT_FALSE(context.writeStartTime.IsZero());
  Send({imapi::kActionWritingData, 999, 600});
  Send({imapi::kActionWritingData, 999, 1000});
  EXPECT_EQ(context.sectorCount, 1000u) << "taken once per burn";
  EXPECT_TRUE(context.finalizeTime.IsZero());
  EXPECT_EQ(context.finalizing, 0u);
  Send({imapi::kActionFinalization, 1000, 0});
  EXPECT_EQ(context.lastWrittenLba, 1000u);
  EXPECT_EQ(context.finalizing, 1u);
  EXPECT_GE(context.finalizeTime.Milliseconds(), context.writeStartTime.Milliseconds());
  Send({imapi::kActionVerifying});
  Send({imapi::kActionVerifying});
  Send({imapi::kActionCompleted});
  EXPECT_EQ(context.verifyTicks, 2u);
  context.cancelRequested = 1;
  sink.Update(writer, nullptr);
  EXPECT_EQ(writer.cancels, 1) << "a cancel goes to the writer at the next event, whatever it is";
  EXPECT_EQ(context.cancelRequested, 0u);
  EXPECT_EQ(Posted(), (std::vector<uintptr_t>{0, 2, 4, 5, 7, 7, 6}))
      << "only the first writing-data event is posted; not the cancelling one";
}

TEST_F(EventSinkTest, FirstWritingEventOfEachBurnIsPosted) {
  // The process's first burn may begin directly with writing data.
  Send({imapi::kActionWritingData, 10, 5});
  Send({imapi::kActionWritingData, 10, 10});
  // A later burn is posted only after initialising or calibrating re-armed the sink.
  Send({imapi::kActionWritingData, 10, 5});
  Send({imapi::kActionCalibratingPower});
  Send({imapi::kActionWritingData, 10, 5});
  EXPECT_EQ(Posted(), (std::vector<uintptr_t>{4, 3, 4}));

  Event broken(imapi::kActionVerifying);
  broken.failing = true;
  sink.Update(writer, &broken);
  sink.Update(writer, nullptr);
  EXPECT_EQ(context.verifyTicks, 0u);
  EXPECT_TRUE(Posted().empty()) << "an event that cannot be read is dropped";

  context.sheetWnd = nullptr;
  Send({imapi::kActionFinalization, 10});
  const WindowHandle gone = windows.Create();
  windows.Destroy(gone);
  context.sheetWnd = gone;
  Send({imapi::kActionVerifying});
  EXPECT_EQ(context.verifyTicks, 1u) << "progress is kept without a sheet to tell";
}

}  // namespace
}  // namespace kestrune
