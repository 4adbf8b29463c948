#include "devices/recorders.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "sim/sim_disc_service.h"
#include "sim/sim_disc_writer.h"
#include "sim/sim_test_support.h"

namespace kestrune {
namespace {

namespace imapi = platform::imapi;
using sim::DiscDescription;
using sim::MachineDescription;
using sim::RecorderDescription;

DiscDescription Disc(uint32_t mediaType, std::string state = "blank") {
  DiscDescription disc;
  disc.mediaType = mediaType;
  disc.state = std::move(state);
  return disc;
}

RecorderDescription Recorder(std::string letter, std::string productId = "DVD-RW SIM 24X  ") {
  RecorderDescription recorder;
  recorder.letter = std::move(letter);
  recorder.uniqueId = "recorder-" + recorder.letter;
  recorder.productId = std::move(productId);
  recorder.disc = Disc(11);
  return recorder;
}

// The simulated disc service, counting the unique ids asked for (the walk's progress).
class CountingService : public sim::SimDiscService {
 public:
  using SimDiscService::SimDiscService;
  HResult GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) override {
    ++idsAsked;
    return SimDiscService::GetRecorderUniqueId(index, uniqueId);
  }
  int idsAsked = 0;
};

// The context as start-up makes it, over a machine with recorders E and F.
class RecordersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.Change([](MachineDescription& d) { d.recorders = {Recorder("E"), Recorder("F")}; });
    HResult hr;
    imapi.master = &service;
    imapi.format = service.CreateDataWriter(hr);
    imapi.recorder = service.CreateRecorder(hr);
    imapi.ready = 1;
  }
  void TearDown() override {
    EXPECT_FALSE(Writer().recorderReleasedWhileHeld())
        << "the writer must let go of a recorder before it is released";
  }
  sim::SimDataWriter& Writer() { return static_cast<sim::SimDataWriter&>(*imapi.format); }
  void ChangeRecorder(size_t index, const std::function<void(RecorderDescription&)>& change) {
    temp.Change([&](MachineDescription& d) { change(d.recorders.at(index)); });
  }
  uint32_t Check() { return CheckInsertedMedia(imapi, context); }

  sim::testing::TemporaryMachine temp;
  CountingService service{temp.machine()};
  ImapiContext imapi;
  RunContext context;
};

TEST_F(RecordersTest, ListsDriveRootsWithUntrimmedIdsButNoVirtualOrFolderOnlyDrives) {
  temp.Change([](MachineDescription& d) {
    d.recorders.push_back(Recorder("G", "Virtual DVD-ROM "));
    d.recorders.push_back(Recorder("H"));
    d.recorders.back().volumePaths = std::vector<std::string>{"C:\\mnt\\dvd\\"};
    d.recorders.push_back(Recorder("J"));
    d.recorders.back().volumePaths = std::vector<std::string>{"C:\\burner\\", "K:\\", "J:\\"};
  });
  std::vector<std::wstring> entries{L"stale entry"};
  EXPECT_TRUE(EnumRecorders(imapi, entries));
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"( E:\\ ) KESTRUNE DVD-RW SIM 24X   ",
                                                L"( F:\\ ) KESTRUNE DVD-RW SIM 24X   ",
                                                L"( K:\\ ) KESTRUNE DVD-RW SIM 24X   "}));
  EXPECT_EQ(entries[0][2], L'E') << "the page keys an entry by its third character";

  // The one letter rule: the drive listed as K: is scanned and bound as K:.
  uint32_t mask = 0, code = 0;
  EXPECT_EQ(ScanDriveMedia(imapi, L'K', &mask, &code), platform::kS_OK);
  EXPECT_EQ(mask, kMaskDvdRDualLayer);
  EXPECT_TRUE(BindRecorder(imapi, L'K', kMediaDvdRDualLayer));
  EXPECT_EQ(Check(), MEDIA_READY);
}

TEST_F(RecordersTest, TheFirstFailingCallEndsTheWalk) {
  ChangeRecorder(0, [](auto& r) { r.failCalls["InitializeDiscRecorder"] = 0xC0AA02FF; });
  std::vector<std::wstring> entries;
  EXPECT_FALSE(EnumRecorders(imapi, entries));
  EXPECT_TRUE(entries.empty()) << "F is passed over although it would answer";
  EXPECT_EQ(service.idsAsked, 1) << "no further call after the failure";

  uint32_t mask = 7, code = 7;
  EXPECT_EQ(ScanDriveMedia(imapi, L'F', &mask, &code), 0xC0AA02FFu);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(BindRecorder(imapi, L'F', kMediaDvdRDualLayer));

  // A failure after the first recorder keeps what was listed before it.
  ChangeRecorder(0, [](auto& r) { r.failCalls.clear(); });
  ChangeRecorder(1, [](auto& r) { r.failCalls["GetProductId"] = imapi::kE_COMMAND_TIMEOUT; });
  EXPECT_FALSE(EnumRecorders(imapi, entries));
  EXPECT_EQ(entries.size(), 1u);
}

TEST_F(RecordersTest, ScanTellsWhatTheDriveAndItsDiscCanDo) {
  struct Case {
    const char* name;
    std::function<void(RecorderDescription&)> change;
    HResult result;
    uint32_t mask, code;
  };
  const Case cases[] = {
      {"blank DVD-R DL", [](auto&) {}, platform::kS_OK, 0x800, 11},
      {"single-layer DVD-R", [](auto& r) { r.disc = Disc(9); }, platform::kS_OK, 0, 9},
      {"no disc: final", [](auto& r) { r.disc.reset(); }, platform::kS_OK, 0, 0},
      {"drive that cannot write DVD-R DL",
       [](auto& r) {
         r.supportedMediaTypes = {9, 10};
       },
       platform::kS_OK, 0, 11},
      {"profiles unreadable: ask again",
       [](auto& r) { r.failCalls["GetCurrentProfiles"] = imapi::kE_COMMAND_TIMEOUT; },
       imapi::kE_COMMAND_TIMEOUT, 0, 0},
  };
  for (const auto& c : cases) {
    temp.Change([&](MachineDescription& d) {
      d.recorders[0] = Recorder("E");
      c.change(d.recorders[0]);
    });
    uint32_t mask = 7, code = 7;
    EXPECT_EQ(ScanDriveMedia(imapi, L'E', &mask, &code), c.result) << c.name;
    EXPECT_EQ(mask, c.mask) << c.name;
    EXPECT_EQ(code, c.code) << c.name;
  }
  uint32_t mask = 7, code = 7;
  EXPECT_EQ(ScanDriveMedia(imapi, L'Q', &mask, &code), platform::kS_OK) << "no such drive";
  EXPECT_EQ(mask + code, 0u);
  mask = code = 7;
  EXPECT_EQ(ScanDriveMedia(imapi, 0, &mask, &code), platform::kE_FAIL);
  EXPECT_EQ(ScanDriveMedia(imapi, L'E', nullptr, &code), platform::kE_FAIL);
  imapi.ready = 0;
  EXPECT_EQ(ScanDriveMedia(imapi, L'F', &mask, &code), platform::kE_FAIL);
  EXPECT_EQ(mask + code, 14u) << "outputs untouched";
}

TEST_F(RecordersTest, BindingFollowsTheUsersLatestChoice) {
  ChangeRecorder(1, [](auto& r) { r.disc = Disc(11, "closed"); });
  EXPECT_FALSE(BindRecorder(imapi, L'E', 20)) << "never for the USB drive";
  EXPECT_FALSE(BindRecorder(imapi, L'E', 0));
  EXPECT_FALSE(BindRecorder(imapi, 0, 11));
  EXPECT_EQ(Check(), MEDIA_RETRY) << "nothing bound yet";

  ASSERT_TRUE(BindRecorder(imapi, L'E', 11));
  EXPECT_EQ(imapi.targetMediaType, 11u);
  EXPECT_EQ(Writer().clientName(), L"Kestrix");
  EXPECT_EQ(Check(), MEDIA_READY);

  // Scanning another drive borrows the writer and gives it back bound to E:.
  uint32_t mask = 0, code = 0;
  EXPECT_EQ(ScanDriveMedia(imapi, L'F', &mask, &code), platform::kS_OK);
  EXPECT_EQ(Check(), MEDIA_READY);

  // Back, then F: the disc checked is F's.
  ASSERT_TRUE(BindRecorder(imapi, L'F', 11));
  EXPECT_EQ(Check(), MEDIA_NOT_BLANK);
  EXPECT_TRUE(BindRecorder(imapi, L'F', 11)) << "the same drive again keeps the binding";

  EXPECT_FALSE(BindRecorder(imapi, L'Q', 11));
  EXPECT_EQ(imapi.targetMediaType, 0u) << "a failed rebind leaves nothing bound";
  EXPECT_EQ(Check(), MEDIA_RETRY);
}

TEST_F(RecordersTest, VerdictOnTheInsertedDisc) {
  ASSERT_TRUE(BindRecorder(imapi, L'E', 11));
  struct Case {
    const char* name;
    std::optional<DiscDescription> disc;
    bool rewritable;
    uint32_t verdict;
  };
  auto damaged = Disc(11);
  damaged.damaged = true;
  const Case cases[] = {
      {"blank DVD-R DL", Disc(11), false, MEDIA_READY},
      {"blank BD-R", Disc(18), false, MEDIA_READY},
      {"no disc", std::nullopt, false, MEDIA_NO_DISC},
      {"damaged", damaged, true, MEDIA_UNUSABLE},
      {"appendable DVD-R DL", Disc(11, "appendable"), false, MEDIA_NOT_BLANK},
      {"closed DVD-R DL with /RW", Disc(11, "closed"), true, MEDIA_NOT_BLANK},
      {"blank DVD-R", Disc(9), true, MEDIA_WRONG_TYPE},
      {"blank +RW DL", Disc(13), false, MEDIA_WRONG_TYPE},
      {"blank +RW DL with /RW", Disc(13), true, MEDIA_READY},
      {"used BD-RE", Disc(19, "closed"), false, MEDIA_NOT_BLANK},
      {"used BD-RE with /RW", Disc(19, "closed"), true, MEDIA_READY},
      {"DVD-ROM", Disc(4, "closed"), true, MEDIA_NOT_BLANK},
  };
  for (const auto& c : cases) {
    ChangeRecorder(0, [&](auto& r) { r.disc = c.disc; });
    context.allowRewritable = c.rewritable ? 1 : 0;
    EXPECT_EQ(Check(), c.verdict) << c.name;
  }

  context.allowRewritable = 0;
  ChangeRecorder(0, [](auto& r) { r.disc = Disc(11); });
  imapi.targetMediaType = 18;
  EXPECT_EQ(Check(), MEDIA_WRONG_TYPE) << "only a drive bound for DVD-R DL takes a disc";
  imapi.targetMediaType = 11;

  struct Fault {
    const char* call;
    HResult code;
    uint32_t verdict;
  };
  for (const Fault& fault :
       {Fault{"GetCurrentMediaStatus", imapi::kE_MEDIA_NO_MEDIA, MEDIA_NO_DISC},
        Fault{"GetCurrentMediaStatus", imapi::kE_COMMAND_TIMEOUT, MEDIA_RETRY},
        Fault{"GetCurrentPhysicalMediaType", platform::kE_FAIL, MEDIA_RETRY}}) {
    ChangeRecorder(0, [&](auto& r) { r.failCalls = {{fault.call, fault.code}}; });
    EXPECT_EQ(Check(), fault.verdict) << fault.call;
  }
  ChangeRecorder(0, [](auto& r) {
    r.noAnswer = true;
    r.failCalls.clear();
  });
  EXPECT_EQ(Check(), MEDIA_RETRY);
  imapi.ready = 0;
  EXPECT_EQ(Check(), MEDIA_RETRY);
}

// The worker holds the writer while a disc step runs; the UI's calls then answer "ask again"
// and leave the writer alone, whatever the disc would say.
TEST_F(RecordersTest, UiKeepsOffTheWriterWhileADiscStepUsesIt) {
  ASSERT_TRUE(BindRecorder(imapi, L'E', 11));
  ChangeRecorder(0, [](auto& r) { r.disc.reset(); });
  std::unique_lock worker(imapi.writerInUse);
  std::thread ui([&] {
    EXPECT_EQ(Check(), MEDIA_RETRY);
    uint32_t mask = 0, code = 0;
    EXPECT_EQ(ScanDriveMedia(imapi, L'E', &mask, &code), imapi::kE_WRITE_IN_PROGRESS);
    EXPECT_FALSE(BindRecorder(imapi, L'F', 11));
  });
  ui.join();
  worker.unlock();
  EXPECT_EQ(Check(), MEDIA_NO_DISC);
}

}  // namespace
}  // namespace kestrune
