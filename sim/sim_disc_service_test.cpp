#include "sim/sim_disc_service.h"

#include <gtest/gtest.h>

#include "platform/native_path.h"
#include "sim/machine_actions.h"
#include "sim/seven_zip.h"
#include "sim/sim_disc_writer.h"
#include "sim/sim_test_support.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace imapi = platform::imapi;
using platform::HResult;
using testing::TemporaryMachine;

DiscDescription Disc(uint32_t mediaType, std::string state = "blank", uint64_t capacity = 0) {
  DiscDescription disc;
  disc.mediaType = mediaType;
  disc.state = std::move(state);
  disc.capacityBytes = capacity;
  return disc;
}

// Records every event; can ask for a cancel at the n-th writing-data event.
class RecordingEvents : public platform::DataWriteEvents {
 public:
  void Update(platform::DiscDataWriter& writer, platform::DataWriteProgress* progress) override {
    int32_t action = -1, lba = -1, sectors = -1;
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->GetCurrentAction(action), platform::kS_OK);
    EXPECT_EQ(progress->GetLastWrittenLba(lba), platform::kS_OK);
    EXPECT_EQ(progress->GetSectorCount(sectors), platform::kS_OK);
    actions.push_back(action);
    if (action == imapi::kActionWritingData) lbas.push_back(lba), sectorCount = sectors;
    if (action == imapi::kActionWritingData && ++writing == cancelAtWriting) {
      EXPECT_EQ(writer.CancelWrite(), platform::kS_OK);
    }
  }
  std::vector<int32_t> actions, lbas;
  int32_t sectorCount = 0;
  int writing = 0, cancelAtWriting = -1;
};

class DiscServiceTest : public ::testing::Test {
 protected:
  // A recorder bound to drive E:, a writer bound to it, as the program binds them.
  void Bind() {
    HResult hr;
    recorder = service.CreateRecorder(hr);
    writer = service.CreateDataWriter(hr);
    std::wstring id;
    ASSERT_EQ(service.GetRecorderUniqueId(0, id), platform::kS_OK);
    ASSERT_EQ(recorder->InitializeDiscRecorder(id), platform::kS_OK);
    ASSERT_EQ(writer->PutRecorder(recorder.get()), platform::kS_OK);
  }
  HResult Burn(const fs::path& image, RecordingEvents& events, uint32_t verification) {
    HResult hr;
    auto stream = service.OpenImageStream(platform::FromNativePath(image), hr);
    EXPECT_EQ(hr, platform::kS_OK);
    uint32_t cookie = 0;
    EXPECT_EQ(writer->Advise(&events, cookie), platform::kS_OK);
    EXPECT_EQ(writer->PutBurnVerificationLevel(verification), platform::kS_OK);
    EXPECT_EQ(writer->PutForceMediaToBeClosed(true), platform::kS_OK);
    hr = writer->Write(*stream);
    EXPECT_EQ(writer->Unadvise(cookie), platform::kS_OK);
    return hr;
  }
  uint32_t Status() {
    uint32_t status = 0;
    EXPECT_EQ(writer->GetCurrentMediaStatus(status), platform::kS_OK);
    return status;
  }
  fs::path Drive() { return temp.machine().VolumeFolder('E'); }

  TemporaryMachine temp;
  SimDiscService service{temp.machine()};
  std::unique_ptr<platform::DiscRecorder> recorder;
  std::unique_ptr<platform::DiscDataWriter> writer;
};

TEST_F(DiscServiceTest, RecorderAnswersAsTheDescriptionSays) {
  uint32_t count = 0;
  ASSERT_EQ(service.GetRecorderCount(count), platform::kS_OK);
  EXPECT_EQ(count, 1u);
  Bind();
  std::wstring vendor, product;
  std::vector<std::wstring> paths;
  std::vector<uint32_t> profiles, supported;
  EXPECT_EQ(recorder->GetVendorId(vendor), platform::kS_OK);
  EXPECT_EQ(recorder->GetProductId(product), platform::kS_OK);
  EXPECT_EQ(vendor, L"KESTRUNE");
  EXPECT_EQ(product, L"DVD-RW SIM 24X  ")
      << "ids come unpadded and untrimmed, as the drive gives them";
  EXPECT_EQ(recorder->GetVolumePathNames(paths), platform::kS_OK);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"E:\\"});
  EXPECT_EQ(recorder->GetCurrentProfiles(profiles), platform::kS_OK);
  EXPECT_EQ(profiles, std::vector<uint32_t>{imapi::kProfileDvdMinusRDualLayerSequential});
  EXPECT_EQ(writer->GetSupportedMediaTypes(supported), platform::kS_OK);
  EXPECT_NE(std::find(supported.begin(), supported.end(), 11u), supported.end());
  uint32_t type = 0;
  EXPECT_EQ(writer->GetCurrentPhysicalMediaType(type), platform::kS_OK);
  EXPECT_EQ(type, imapi::kMediaTypeDvdMinusRDualLayer);
  EXPECT_EQ(Status(), imapi::kMediaBlank);
}

TEST_F(DiscServiceTest, UnboundObjectsAndEmptyDrivesFailWithImapiCodes) {
  HResult hr;
  auto fresh = service.CreateDataWriter(hr);
  uint32_t status = 0;
  EXPECT_EQ(fresh->GetCurrentMediaStatus(status), imapi::kE_RECORDER_REQUIRED);
  Bind();
  temp.Change([](MachineDescription& d) { d.recorders[0].disc.reset(); });
  EXPECT_EQ(writer->GetCurrentMediaStatus(status), imapi::kE_MEDIA_NO_MEDIA);
  uint32_t type = 0;
  EXPECT_EQ(writer->GetCurrentPhysicalMediaType(type), imapi::kE_MEDIA_NO_MEDIA);
  std::vector<uint32_t> profiles{1};
  EXPECT_EQ(recorder->GetCurrentProfiles(profiles), platform::kS_OK);
  EXPECT_TRUE(profiles.empty());
}

TEST_F(DiscServiceTest, RecorderFaultsFire) {
  temp.Change([](MachineDescription& d) {
    d.recorders[0].failCalls["InitializeDiscRecorder"] = 0xC0AA02FF;
  });
  HResult hr;
  auto r = service.CreateRecorder(hr);
  std::wstring id;
  service.GetRecorderUniqueId(0, id);
  EXPECT_EQ(r->InitializeDiscRecorder(id), imapi::kE_INVALID_RESPONSE_FROM_DEVICE);

  temp.Change([](MachineDescription& d) {
    d.recorders[0].failCalls.clear();
    d.recorders[0].failCalls["GetCurrentMediaStatus"] = platform::kE_FAIL;
  });
  Bind();
  uint32_t status = 0;
  EXPECT_EQ(writer->GetCurrentMediaStatus(status), platform::kE_FAIL);

  temp.Change([](MachineDescription& d) { d.recorders[0].noAnswer = true; });
  std::wstring vendor;
  EXPECT_EQ(recorder->GetVendorId(vendor), imapi::kE_COMMAND_TIMEOUT);

  temp.Change([](MachineDescription& d) {
    d.recorders[0].noAnswer = false;
    d.recorders[0].failCalls.clear();
    d.recorders[0].disc->damaged = true;
  });
  EXPECT_NE(Status() & imapi::kMediaDamaged, 0u);
}

TEST_F(DiscServiceTest, BurnReportsInImapiOrderAndMakesAClosedReadableDisc) {
  Bind();
  RecordingEvents events;
  ASSERT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationFull), platform::kS_OK);

  ASSERT_GE(events.actions.size(), 6u);
  EXPECT_EQ(events.actions[0], imapi::kActionValidatingMedia);
  EXPECT_EQ(events.actions[1], imapi::kActionInitializingHardware);
  EXPECT_EQ(events.actions.back(), imapi::kActionCompleted);
  const auto finalization =
      std::find(events.actions.begin(), events.actions.end(), imapi::kActionFinalization);
  ASSERT_NE(finalization, events.actions.end());
  EXPECT_TRUE(std::all_of(events.actions.begin() + 2, finalization,
                          [](int32_t a) { return a == imapi::kActionWritingData; }));
  EXPECT_TRUE(std::all_of(finalization + 1, events.actions.end() - 1,
                          [](int32_t a) { return a == imapi::kActionVerifying; }));
  EXPECT_GT(std::count(events.actions.begin(), events.actions.end(), imapi::kActionVerifying), 0);
  EXPECT_GE(events.lbas.size(), 2u);
  EXPECT_TRUE(std::is_sorted(events.lbas.begin(), events.lbas.end()));
  EXPECT_LT(events.lbas.front(), events.lbas.back());
  EXPECT_EQ(events.lbas.back(), events.sectorCount);
  EXPECT_EQ(static_cast<uint64_t>(events.sectorCount) * 2048,
            fs::file_size(testing::SampleImage(1)));

  const uint32_t status = Status();
  EXPECT_EQ(status & imapi::kMediaBlank, 0u);
  EXPECT_NE(status & imapi::kMediaFinalized, 0u);
  EXPECT_TRUE(fs::is_regular_file(Drive() / "sources" / "install.swm"));
  EXPECT_TRUE(fs::is_regular_file(Drive() / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt"));

  // A closed disc takes no second image.
  RecordingEvents again;
  EXPECT_EQ(Burn(testing::SampleImage(2), again, imapi::kVerificationNone),
            imapi::kE_MEDIA_NOT_BLANK);
}

TEST_F(DiscServiceTest, WithoutVerificationThereAreNoVerifyingEvents) {
  temp.Change([](MachineDescription& d) { d.recorders[0].announceInitialization = false; });
  Bind();
  RecordingEvents events;
  ASSERT_EQ(Burn(testing::SampleImage(2), events, imapi::kVerificationNone), platform::kS_OK);
  EXPECT_EQ(events.actions.front(), imapi::kActionWritingData)
      << "this drive starts writing at once";
  EXPECT_EQ(std::count(events.actions.begin(), events.actions.end(), imapi::kActionVerifying), 0);
}

TEST_F(DiscServiceTest, CancelAtAnEventLeavesAFailedDisc) {
  Bind();
  RecordingEvents events;
  events.cancelAtWriting = 2;
  EXPECT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationFull),
            imapi::kE_REQUEST_CANCELLED);
  EXPECT_EQ(events.writing, 2) << "the write stops at the event that asked for the cancel";
  EXPECT_EQ(std::count(events.actions.begin(), events.actions.end(), imapi::kActionCompleted), 0);
  const uint32_t status = Status();
  EXPECT_EQ(status & imapi::kMediaBlank, 0u);
  EXPECT_NE(status & imapi::kMediaDamaged, 0u);
  EXPECT_TRUE(fs::is_empty(Drive()));
  EXPECT_EQ(writer->CancelWrite(), imapi::kE_WRITE_NOT_IN_PROGRESS);
}

TEST_F(DiscServiceTest, EjectFeedsABlankDiscSoThatASetCanBeWrittenUnattended) {
  Bind();
  RecordingEvents first, second;
  ASSERT_EQ(Burn(testing::SampleImage(1), first, imapi::kVerificationNone), platform::kS_OK);
  ASSERT_EQ(recorder->EjectMedia(), platform::kS_OK);
  EXPECT_TRUE(fs::is_empty(Drive()));
  EXPECT_EQ(Status(), imapi::kMediaBlank);
  ASSERT_EQ(Burn(testing::SampleImage(2), second, imapi::kVerificationNone), platform::kS_OK);
  EXPECT_TRUE(fs::is_regular_file(Drive() / "sources" / "install2.swm"));
  EXPECT_EQ(temp.Read().recorders[0].ejectCount, 1u);

  temp.Change([](MachineDescription& d) { d.recorders[0].feedBlankMediaType.reset(); });
  ASSERT_EQ(recorder->EjectMedia(), platform::kS_OK);
  uint32_t status = 0;
  EXPECT_EQ(writer->GetCurrentMediaStatus(status), imapi::kE_MEDIA_NO_MEDIA);
}

TEST_F(DiscServiceTest, DiscFaultsStopTheWrite) {
  Bind();
  RecordingEvents events;
  temp.Change([](MachineDescription& d) { d.recorders[0].disc->damaged = true; });
  EXPECT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationNone),
            imapi::kE_INVALID_MEDIA_STATE);
  temp.Change([](MachineDescription& d) { d.recorders[0].disc = Disc(imapi::kMediaTypeBdRe); });
  EXPECT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationNone),
            imapi::kE_MEDIA_IS_NOT_SUPPORTED);
  temp.Change([](MachineDescription& d) { d.recorders[0].disc = Disc(11, "blank", 4096); });
  EXPECT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationNone),
            imapi::kE_STREAM_TOO_LARGE_FOR_MEDIA);
  EXPECT_TRUE(events.actions.empty()) << "a refused write reports nothing";
}

TEST_F(DiscServiceTest, FlippedByteSpoilsExactlyOneFileOfTheWrittenDisc) {
  temp.Change([](MachineDescription& d) { d.recorders[0].flipByteAfterBurn = true; });
  Bind();
  RecordingEvents events;
  ASSERT_EQ(Burn(testing::SampleImage(1), events, imapi::kVerificationFull), platform::kS_OK);
  const fs::path fresh = temp.folder() / "fresh";
  ASSERT_TRUE(ExtractImage(testing::SampleImage(1), fresh));
  int differing = 0, files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fresh)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    const auto onDisc = Drive() / fs::relative(entry.path(), fresh);
    if (testing::ReadFile(entry.path()) != testing::ReadFile(onDisc)) ++differing;
  }
  EXPECT_GT(files, 5);
  EXPECT_EQ(differing, 1);
}

TEST_F(DiscServiceTest, ForcedOverwriteWritesOverARewritableDisc) {
  temp.Change([](MachineDescription& d) {
    d.recorders[0].disc = Disc(imapi::kMediaTypeDvdMinusRw, "closed");
  });
  Bind();
  RecordingEvents events;
  EXPECT_EQ(Burn(testing::SampleImage(2), events, imapi::kVerificationNone),
            imapi::kE_MEDIA_NOT_BLANK);
  EXPECT_EQ(writer->PutForceOverwrite(true), platform::kS_OK);
  EXPECT_EQ(Burn(testing::SampleImage(2), events, imapi::kVerificationNone), platform::kS_OK);
}

}  // namespace
}  // namespace kestrune::sim
