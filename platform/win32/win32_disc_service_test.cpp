// The disc service over IMAPI2, burning into the fake IMAPI2 server under wine (wine itself
// has no IMAPI2). The call-by-call comparison with the Linux build is the parity test
// (fake_imapi2/disc_parity_test.cmake); these check what it cannot see.
#include "platform/win32/windows_support.h"

#include "platform/win32/win32_disc_service.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "testing/win32/fake_imapi2/fake_imapi2_server.h"

namespace kestrune::platform::win32 {
namespace {

namespace fs = std::filesystem;
using fake_imapi2::FakeImapiServer;

constexpr HResult kClassNotRegistered = 0x80040154;  // REGDB_E_CLASSNOTREG

fs::path TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path();
}

// An image of `sectors` 2048-byte sectors whose bytes tell their offset apart.
fs::path WriteImage(const std::wstring& name, uint32_t sectors) {
  const fs::path file = TestFolder() / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (uint32_t i = 0; i < sectors * 2048; ++i)
    out.put(static_cast<char>((i * 7 + i / 2048) & 0xFF));
  return file;
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class ComApartment {
 public:
  ComApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComApartment() { CoUninitialize(); }
};

// Counts the events and the threads they arrive on.
class CountingEvents : public DataWriteEvents {
 public:
  void Update(DiscDataWriter&, DataWriteProgress* progress) override {
    int32_t action = -1;
    if (progress != nullptr && progress->GetCurrentAction(action) == kS_OK &&
        action == imapi::kActionCompleted) {
      completed = true;
    }
    ++events;
  }
  std::atomic<int> events{0};
  std::atomic<bool> completed{false};
};

class Win32DiscServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.ok()) << server.error(); }

  // A recorder bound to the fake's first drive and a writer holding it.
  void Bind() {
    HResult hr = kE_FAIL;
    std::wstring uniqueId;
    ASSERT_EQ(service.GetRecorderUniqueId(0, uniqueId), kS_OK);
    recorder = service.CreateRecorder(hr);
    ASSERT_EQ(hr, kS_OK);
    ASSERT_EQ(recorder->InitializeDiscRecorder(uniqueId), kS_OK);
    writer = service.CreateDataWriter(hr);
    ASSERT_EQ(hr, kS_OK);
    ASSERT_EQ(writer->PutRecorder(recorder.get()), kS_OK);
  }

  ComApartment apartment;
  FakeImapiServer server;
  Win32DiscService service;
  std::unique_ptr<DiscRecorder> recorder;
  std::unique_ptr<DiscDataWriter> writer;
};

TEST_F(Win32DiscServiceTest, BurnPutsTheImageBytesOntoTheDiscWithTheChosenSettings) {
  ASSERT_TRUE(server.Configure({server.DefaultRecorder()}));
  Bind();
  const fs::path image = WriteImage(L"burn.iso", 300);
  HResult hr = kE_FAIL;
  auto stream = service.OpenImageStream(image.wstring(), hr);
  ASSERT_EQ(hr, kS_OK);
  uint64_t size = 0;
  EXPECT_EQ(stream->GetSize(size), kS_OK);
  EXPECT_EQ(size, 300u * 2048);
  EXPECT_EQ(writer->PutClientName(L"Kestrix"), kS_OK);
  EXPECT_EQ(writer->PutBurnVerificationLevel(imapi::kVerificationNone), kS_OK);
  EXPECT_EQ(writer->PutForceMediaToBeClosed(true), kS_OK);
  CountingEvents events;
  uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(&events, cookie), kS_OK);

  EXPECT_EQ(writer->Write(*stream), kS_OK);
  EXPECT_EQ(writer->Unadvise(cookie), kS_OK);

  EXPECT_TRUE(events.completed);
  EXPECT_GE(events.events, 8);
  const auto state = server.State(0);
  EXPECT_EQ(state.discState, static_cast<uint32_t>(kFakeDiscClosed));
  EXPECT_EQ(state.verificationLevel, imapi::kVerificationNone);
  EXPECT_STREQ(state.clientName, L"Kestrix");
  EXPECT_EQ(server.DiscImage(0), ReadBytes(image));
  stream.reset();
  fs::remove(image);
}

TEST_F(Win32DiscServiceTest, CancelFromAnotherThreadEndsTheWrite) {
  auto slow = server.DefaultRecorder();
  slow.writeBytesPerSecond = 2'000'000;  // about three seconds for the image below
  ASSERT_TRUE(server.Configure({slow}));
  Bind();
  const fs::path image = WriteImage(L"cancel.iso", 3000);
  HResult hr = kE_FAIL;
  auto stream = service.OpenImageStream(image.wstring(), hr);
  ASSERT_EQ(hr, kS_OK);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The worker's write runs in the multithreaded apartment; so does this thread.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(writer->CancelWrite(), kS_OK);
    CoUninitialize();
  });
  EXPECT_EQ(writer->Write(*stream), imapi::kE_REQUEST_CANCELLED);
  canceller.join();
  const auto state = server.State(0);
  EXPECT_TRUE(state.discDamaged);
  EXPECT_EQ(state.imageBytes, 0u);
  stream.reset();
  fs::remove(image);
}

TEST_F(Win32DiscServiceTest, ImageStreamReadsButKeepsWritersOut) {
  const fs::path image = WriteImage(L"shared.iso", 1);
  HResult hr = kE_FAIL;
  auto stream = service.OpenImageStream(image.wstring(), hr);
  ASSERT_EQ(hr, kS_OK);

  windows::UniqueHandle reader(CreateFileW(image.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.valid());
  windows::UniqueHandle writerHandle(CreateFileW(image.c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writerHandle.valid());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  reader.Reset();
  stream.reset();
  EXPECT_EQ(service.OpenImageStream((TestFolder() / L"absent.iso").wstring(), hr), nullptr);
  EXPECT_EQ(hr, kE_FILE_NOT_FOUND);
  fs::remove(image);
}

// Wine has no IMAPI2: without the fake registered, the objects cannot be created, and the
// service says so with COM's own code.
TEST(Win32DiscServiceWithoutImapi2Test, WineHasNoImapi2SoCreatingTheObjectsFails) {
  ComApartment apartment;
  { FakeImapiServer unregisteredWhenGone; }
  Win32DiscService service;
  EXPECT_EQ(service.Open(), kClassNotRegistered);
  uint32_t count = 7;
  EXPECT_EQ(service.GetRecorderCount(count), kClassNotRegistered);
  EXPECT_EQ(count, 7u);
  HResult hr = kS_OK;
  EXPECT_EQ(service.CreateRecorder(hr), nullptr);
  EXPECT_EQ(hr, kClassNotRegistered);
  EXPECT_EQ(service.CreateDataWriter(hr), nullptr);
  EXPECT_EQ(hr, kClassNotRegistered);
}

}  // namespace
}  // namespace kestrune::platform::win32
