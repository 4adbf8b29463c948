#include "sim/sim_disc_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "platform/native_path.h"
#include "sim/iso_files.h"
#include "sim/machine_actions.h"
#include "sim/seven_zip.h"
#include "sim/sim_test_support.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace imapi = platform::imapi;
using platform::HResult;

// Records the actions and the threads they came on; runs `onWriting` at the first
// writing-data event.
class Receiver : public platform::DataWriteEvents {
 public:
  void Update(platform::DiscDataWriter&, platform::DataWriteProgress* progress) override {
    onCallerThread |= std::this_thread::get_id() == caller;
    int32_t action = -1, value = 0;
    if (!progress || progress->GetCurrentAction(action) != platform::kS_OK) return;
    if (progress->GetSectorCount(value) != platform::kS_OK) ++failedGetters;
    actions.push_back(action);
    if (action == imapi::kActionWritingData && onWriting) std::exchange(onWriting, nullptr)();
  }
  std::thread::id caller = std::this_thread::get_id();
  bool onCallerThread = false;
  std::vector<int32_t> actions;
  int failedGetters = 0;
  std::function<void()> onWriting;
};

class DiscWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HResult hr;
    recorder = service.CreateRecorder(hr);
    std::wstring id;
    ASSERT_EQ(service.GetRecorderUniqueId(0, id), platform::kS_OK);
    ASSERT_EQ(recorder->InitializeDiscRecorder(id), platform::kS_OK);
    ASSERT_EQ(writer.PutRecorder(recorder.get()), platform::kS_OK);
    writer.PutBurnVerificationLevel(imapi::kVerificationNone);
  }
  HResult Write(Receiver& receiver) {
    HResult hr;
    auto stream = service.OpenImageStream(platform::FromNativePath(testing::SampleImage(1)), hr);
    uint32_t cookie = 0;
    EXPECT_EQ(writer.Advise(&receiver, cookie), platform::kS_OK);
    hr = writer.Write(*stream);
    writer.Unadvise(cookie);
    return hr;
  }
  RecorderDescription Recorder() { return temp.Read().recorders[0]; }

  testing::TemporaryMachine temp;
  SimDiscService service{temp.machine()};
  std::unique_ptr<platform::DiscRecorder> recorder;
  SimDataWriter writer;
};

TEST_F(DiscWriterTest, EventsComeOnTheWritersOwnThreadWithTheOptionalActions) {
  temp.Change([](MachineDescription& d) {
    d.recorders[0].announceFormatting = d.recorders[0].announceCalibration = true;
    d.recorders[0].failCalls = {{"GetSectorCount", platform::kE_FAIL}};
  });
  Receiver receiver;
  ASSERT_EQ(Write(receiver), platform::kS_OK);
  EXPECT_FALSE(receiver.onCallerThread);
  ASSERT_GE(receiver.actions.size(), 5u);
  EXPECT_EQ(std::vector<int32_t>(receiver.actions.begin(), receiver.actions.begin() + 5),
            (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(receiver.failedGetters, static_cast<int>(receiver.actions.size()));
  EXPECT_EQ(Recorder().lastWrite->actions[imapi::kActionFormattingMedia], 1u);

  // A refused write is recorded with its code too.
  EXPECT_EQ(Write(receiver), imapi::kE_MEDIA_NOT_BLANK);
  EXPECT_EQ(Recorder().lastWrite->result, imapi::kE_MEDIA_NOT_BLANK);
  EXPECT_EQ(Recorder().writeCount, 2u);

  temp.Change([](MachineDescription& d) {
    d.recorders[0].failCalls = {{"DataWriteProgress", platform::kE_NOINTERFACE}};
    d.recorders[0].disc = DiscDescription{};
  });
  Receiver bare;
  EXPECT_EQ(Write(bare), platform::kS_OK);
  EXPECT_TRUE(bare.actions.empty()) << "the receiver got no event arguments";
}

// A real tray is locked while a disc is written; a disc taken out anyway fails the write, and
// the blank disc the recorder feeds afterwards is not marked as written.
TEST_F(DiscWriterTest, DiscTakenOutOrSwappedDuringTheWriteFailsIt) {
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "swapped" : "ejected");
    temp.Change([](MachineDescription& d) { d.recorders[0].disc = DiscDescription{}; });
    Receiver receiver;
    receiver.onWriting = [&] {
      swap ? InsertDisc(temp.machine(), 'E', DiscDescription{}) : EjectDisc(temp.machine(), 'E');
    };
    EXPECT_EQ(Write(receiver), imapi::kE_MEDIA_NO_MEDIA);
    const auto disc = Recorder().disc;
    ASSERT_TRUE(disc.has_value());
    EXPECT_EQ(MediaStatusOf(*disc), imapi::kMediaBlank);
    EXPECT_TRUE(fs::is_empty(temp.machine().VolumeFolder('E')));
  }
}

TEST_F(DiscWriterTest, RecorderReleasedWhileTheWriterHoldsItIsNoticed) {
  HResult hr;
  auto other = service.CreateRecorder(hr);
  std::wstring id;
  ASSERT_EQ(service.GetRecorderUniqueId(0, id), platform::kS_OK);
  ASSERT_EQ(other->InitializeDiscRecorder(id), platform::kS_OK);
  ASSERT_EQ(writer.PutRecorder(other.get()), platform::kS_OK);
  recorder.reset();
  EXPECT_FALSE(writer.recorderReleasedWhileHeld()) << "taken out before it went";
  other.reset();
  EXPECT_TRUE(writer.recorderReleasedWhileHeld());
  uint32_t status = 0;
  EXPECT_EQ(writer.GetCurrentMediaStatus(status), imapi::kE_RECORDER_REQUIRED);
}

// A written disc's files come from the image's Joliet tree, as 7-Zip would unpack them.
TEST(IsoFilesTest, SameTreeAs7Zip) {
  const fs::path out = fs::temp_directory_path() / ("kestrune-iso-" + std::to_string(::getpid()));
  for (int disc : {1, 2}) {
    ASSERT_TRUE(ExtractIsoFiles(testing::SampleImage(disc), out / "fast"));
    ASSERT_TRUE(ExtractImage(testing::SampleImage(disc), out / "7z"));
  }
  std::vector<std::string> fast, sevenZip;
  for (const auto& [root, names] : {std::pair{out / "fast", &fast}, {out / "7z", &sevenZip}}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      names->push_back(fs::relative(entry.path(), root).string() + " " +
                       testing::ReadFile(entry.path()));
    }
    std::sort(names->begin(), names->end());
  }
  EXPECT_GT(fast.size(), 8u);
  EXPECT_EQ(fast, sevenZip);
  EXPECT_FALSE(ExtractIsoFiles(out / "fast" / "version.doc", out / "not-an-image"));
  fs::remove_all(out);
}

}  // namespace
}  // namespace kestrune::sim
