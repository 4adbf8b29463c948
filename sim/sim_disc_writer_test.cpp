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
using testing::TemporaryMachine;

fs::path FreshFolder() {
  return fs::temp_directory_path() / ("kestrune-iso-" + std::to_string(::getpid()));
}

// Records the events and the thread they came on; can run an action at a chosen event.
class Receiver : public platform::DataWriteEvents {
 public:
  void Update(platform::DiscDataWriter& writer, platform::DataWriteProgress* progress) override {
    threads.push_back(std::this_thread::get_id());
    if (!progress) {
      ++withoutArguments;
      return;
    }
    int32_t action = -1, value = 0;
    if (progress->GetCurrentAction(action) != platform::kS_OK) ++failedGetters;
    if (progress->GetSectorCount(value) != platform::kS_OK) ++failedGetters;
    if (progress->GetLastWrittenLba(value) != platform::kS_OK) ++failedGetters;
    actions.push_back(action);
    if (onAction && action == onActionCode && !done) done = true, onAction(writer);
  }
  std::vector<int32_t> actions;
  std::vector<std::thread::id> threads;
  int withoutArguments = 0, failedGetters = 0;
  int32_t onActionCode = -1;
  bool done = false;
  std::function<void(platform::DiscDataWriter&)> onAction;
};

class DiscWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HResult hr;
    recorder = service.CreateRecorder(hr);
    writer = std::make_unique<SimDataWriter>();
    std::wstring id;
    ASSERT_EQ(service.GetRecorderUniqueId(0, id), platform::kS_OK);
    ASSERT_EQ(recorder->InitializeDiscRecorder(id), platform::kS_OK);
    ASSERT_EQ(writer->PutRecorder(recorder.get()), platform::kS_OK);
  }
  HResult Write(Receiver& receiver) {
    HResult hr;
    auto stream = service.OpenImageStream(platform::FromNativePath(testing::SampleImage(1)), hr);
    EXPECT_EQ(hr, platform::kS_OK);
    uint32_t cookie = 0;
    EXPECT_EQ(writer->Advise(&receiver, cookie), platform::kS_OK);
    hr = writer->Write(*stream);
    writer->Unadvise(cookie);
    return hr;
  }
  RecorderDescription Recorder() { return temp.Read().recorders[0]; }

  TemporaryMachine temp;
  SimDiscService service{temp.machine()};
  std::unique_ptr<platform::DiscRecorder> recorder;
  std::unique_ptr<SimDataWriter> writer;
};

TEST_F(DiscWriterTest, EachWriteIsRecordedOnTheRecorderWithWhatWasAsked) {
  ASSERT_FALSE(Recorder().lastWrite.has_value());
  writer->PutClientName(L"Kestrix");
  writer->SetWriteSpeed(0xFFFFFFFF, false);
  writer->PutBurnVerificationLevel(imapi::kVerificationFull);
  writer->PutForceMediaToBeClosed(true);
  Receiver receiver;
  ASSERT_EQ(Write(receiver), platform::kS_OK);

  const auto record = Recorder().lastWrite;
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->clientName, "Kestrix");
  EXPECT_EQ(record->writeSpeed, 0xFFFFFFFFu);
  EXPECT_FALSE(record->pureCav);
  EXPECT_EQ(record->verificationLevel, imapi::kVerificationFull);
  EXPECT_TRUE(record->forceMediaToBeClosed);
  EXPECT_FALSE(record->forceOverwrite);
  EXPECT_EQ(record->imageBytes, fs::file_size(testing::SampleImage(1)));
  EXPECT_EQ(record->result, platform::kS_OK);
  for (int32_t action = 0; action < 8; ++action) {
    EXPECT_EQ(record->actions[static_cast<size_t>(action)],
              std::count(receiver.actions.begin(), receiver.actions.end(), action))
        << "action " << action;
  }
  EXPECT_EQ(Recorder().writeCount, 1u);

  // A refused write is recorded with its code too.
  Receiver again;
  EXPECT_EQ(Write(again), imapi::kE_MEDIA_NOT_BLANK);
  EXPECT_EQ(Recorder().lastWrite->result, imapi::kE_MEDIA_NOT_BLANK);
  EXPECT_EQ(Recorder().writeCount, 2u);
}

TEST_F(DiscWriterTest, EventsComeOnAThreadOfTheWritersOwnWithOptionalActions) {
  temp.Change([](MachineDescription& d) {
    d.recorders[0].announceFormatting = true;
    d.recorders[0].announceCalibration = true;
  });
  writer->PutBurnVerificationLevel(imapi::kVerificationNone);
  Receiver receiver;
  ASSERT_EQ(Write(receiver), platform::kS_OK);
  ASSERT_GE(receiver.actions.size(), 5u);
  EXPECT_EQ(std::vector<int32_t>(receiver.actions.begin(), receiver.actions.begin() + 5),
            (std::vector<int32_t>{0, 1, 2, 3, 4}));
  for (const auto id : receiver.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(DiscWriterTest, InjectedFaultsOfSettingsConnectionStreamAndEventArguments) {
  temp.Change([](MachineDescription& d) {
    d.recorders[0].failCalls = {{"PutForceMediaToBeClosed", 0xC0AA0205},
                                {"PutForceOverwrite", 0x80004005},
                                {"Unadvise", 0x80040200},
                                {"GetSectorCount", 0x80004005},
                                {"GetLastWrittenLba", 0x80004005}};
    d.faults.discService["GetSize"] = 0x80030005;
  });
  EXPECT_EQ(writer->PutForceMediaToBeClosed(true), 0xC0AA0205u);
  EXPECT_FALSE(writer->forceMediaToBeClosed()) << "a failed call changes nothing";
  EXPECT_EQ(writer->PutForceOverwrite(true), platform::kE_FAIL);
  EXPECT_FALSE(writer->forceOverwrite());

  HResult hr;
  auto stream = service.OpenImageStream(platform::FromNativePath(testing::SampleImage(1)), hr);
  uint64_t size = 0;
  EXPECT_EQ(stream->GetSize(size), 0x80030005u);

  Receiver receiver;
  uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(&receiver, cookie), platform::kS_OK);
  writer->PutBurnVerificationLevel(imapi::kVerificationNone);
  EXPECT_EQ(writer->Write(*stream), platform::kS_OK) << "the stream's own size still counts";
  EXPECT_EQ(receiver.failedGetters, 2 * static_cast<int>(receiver.actions.size()));
  EXPECT_EQ(writer->Unadvise(cookie), 0x80040200u);
  EXPECT_EQ(writer->connections(), 1u) << "a failed Unadvise leaves the receiver connected";

  temp.Change([](MachineDescription& d) {
    d.recorders[0].failCalls = {{"DataWriteProgress", 0x80004002}};
    d.recorders[0].disc = DiscDescription{};
  });
  Receiver bare;
  EXPECT_EQ(Write(bare), platform::kS_OK);
  EXPECT_TRUE(bare.actions.empty());
  EXPECT_GT(bare.withoutArguments, 0);
}

// A real tray is locked while a disc is written; a disc taken out anyway fails the write, and
// the blank disc the recorder feeds afterwards is not marked as written.
TEST_F(DiscWriterTest, DiscTakenOutOrSwappedDuringTheWriteFailsIt) {
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "swapped" : "ejected");
    temp.Change([](MachineDescription& d) { d.recorders[0].disc = DiscDescription{}; });
    Receiver receiver;
    receiver.onActionCode = imapi::kActionWritingData;
    receiver.onAction = [&](platform::DiscDataWriter&) {
      if (swap) {
        InsertDisc(temp.machine(), 'E', DiscDescription{});
      } else {
        EjectDisc(temp.machine(), 'E');
      }
    };
    EXPECT_EQ(Write(receiver), imapi::kE_MEDIA_NO_MEDIA);
    const auto disc = Recorder().disc;
    ASSERT_TRUE(disc.has_value()) << "the recorder fed a blank disc";
    EXPECT_EQ(MediaStatusOf(*disc), imapi::kMediaBlank);
    EXPECT_TRUE(disc->image.empty());
    EXPECT_TRUE(fs::is_empty(temp.machine().VolumeFolder('E')));
    EXPECT_EQ(Recorder().lastWrite->result, imapi::kE_MEDIA_NO_MEDIA);
  }
}

TEST_F(DiscWriterTest, RecorderReleasedWhileTheWriterHoldsItIsNoticed) {
  EXPECT_FALSE(writer->recorderReleasedWhileHeld());
  HResult hr;
  auto other = service.CreateRecorder(hr);
  std::wstring id;
  service.GetRecorderUniqueId(0, id);
  ASSERT_EQ(other->InitializeDiscRecorder(id), platform::kS_OK);
  ASSERT_EQ(writer->PutRecorder(other.get()), platform::kS_OK);
  recorder.reset();  // no longer held: fine
  EXPECT_FALSE(writer->recorderReleasedWhileHeld());
  other.reset();
  EXPECT_TRUE(writer->recorderReleasedWhileHeld());
  uint32_t status = 0;
  EXPECT_EQ(writer->GetCurrentMediaStatus(status), imapi::kE_RECORDER_REQUIRED);
}

// A written disc's files come from the image's Joliet tree, as 7-Zip would unpack them.
TEST(IsoFilesTest, SameTreeAs7Zip) {
  const fs::path out = FreshFolder();
  for (int disc : {1, 2}) {
    ASSERT_TRUE(ExtractIsoFiles(testing::SampleImage(disc), out / "fast"));
    ASSERT_TRUE(ExtractImage(testing::SampleImage(disc), out / "7z"));
  }
  std::vector<std::string> fast, sevenZip;
  for (const auto& [root, names] : {std::pair{out / "fast", &fast}, {out / "7z", &sevenZip}}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const std::string relative = fs::relative(entry.path(), root).string();
      names->push_back(relative + (entry.is_regular_file() ? " " + testing::ReadFile(entry.path())
                                                           : std::string(" folder")));
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
