// The Windows platform layer on a Windows API (wine64 in CI).
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/tool_runner.h"
#include "platform/read_only_file.h"
#include "platform/win32/win32_carried_tools.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_power_requests.h"
#include "platform/win32/win32_process_launcher.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_window_port.h"

namespace kestrune::platform::win32 {
namespace {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring Sleeper() { return TestFolder() + L"\\test_sleeper.exe"; }

TEST(Win32LauncherTest, RunsAProgramNamedByItsFullPath) {
  Win32ProcessLauncher launcher;
  int got = 0;
  uint32_t code = 0;
  EXPECT_TRUE(RunTool(launcher, nullptr, Sleeper(), L"0 3", TestFolder(), &got, &code, false));
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 3u);
}

TEST(Win32LauncherTest, CommandInterpreterOfTheSystemFolderRuns) {
  Win32ProcessLauncher launcher;
  Win32SystemInfo system;
  int got = 0;
  uint32_t code = 0;
  EXPECT_TRUE(RunTool(launcher, nullptr, system.SystemFolder() + L"\\cmd.exe", L"/C exit 7",
                      TestFolder(), &got, &code, false));
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 7u);
}

// The sleeper lies in the working folder and cmd.exe in the system folder, so a search would
// find either; a name that is not absolute must not start.
TEST(Win32LauncherTest, ProgramThatIsNotAnAbsolutePathNeverStarts) {
  Win32ProcessLauncher launcher;
  for (const wchar_t* program : {L"test_sleeper.exe", L"test_sleeper", L".\\test_sleeper.exe",
                                 L"..\\tests\\test_sleeper.exe", L"cmd.exe", L"C:cmd.exe"}) {
    const auto result = launcher.StartHidden(program, L"0 3", TestFolder());
    EXPECT_FALSE(result.started) << program;
    EXPECT_EQ(result.process, nullptr) << program;
    EXPECT_EQ(result.error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND)) << program;
  }
}

TEST(Win32LauncherTest, MissingProgramGivesTheSystemError) {
  Win32ProcessLauncher launcher;
  uint32_t code = 0;
  EXPECT_FALSE(RunTool(launcher, nullptr, TestFolder() + L"\\absent.exe", L"", TestFolder(),
                       nullptr, &code, false));
  EXPECT_EQ(code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32LauncherTest, StopEventEndsACancellableRun) {
  Win32ProcessLauncher launcher;
  AutoResetEvent stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.Set();
  });
  int got = 0;
  uint32_t code = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunTool(launcher, &stop, Sleeper(), L"60", TestFolder(), &got, &code, true));
  stopper.join();
  EXPECT_EQ(got, 1);
  EXPECT_EQ(code, 0xffffu);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(Win32CarriedToolsTest, WritesTheResourceBytes) {
  Win32CarriedTools tools;
  const std::wstring target = TestFolder() + L"\\carried.bin";
  DeleteFileW(target.c_str());
  ASSERT_TRUE(tools.WriteTool(133, target));
  std::ifstream in(std::filesystem::path(target), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("133 FILE"), std::string::npos);
  EXPECT_FALSE(tools.WriteTool(999, TestFolder() + L"\\none.bin"));
  DeleteFileW(target.c_str());
}

TEST(Win32SystemTest, RunningProgramFolderHoldsTheRunningProgram) {
  const std::wstring folder = RunningProgramFolder();
  EXPECT_EQ(folder, TestFolder());
  EXPECT_NE(GetFileAttributesW((folder + L"\\platform_win32_tests.exe").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

// A library named without a path beside the program: found before the hardening, and after
// it only when it is one of the system's.
TEST(Win32SystemTest, HardenedProgramLoadsNoLibraryFromItsOwnFolder) {
  Win32ProcessLauncher launcher;
  const std::wstring probe = TestFolder() + L"\\library_search_probe.exe";
  const auto load = [&](const std::wstring& parameters) {
    int got = 0;
    uint32_t code = 0;
    EXPECT_TRUE(RunTool(launcher, nullptr, probe, parameters, TestFolder(), &got, &code, false));
    return code;
  };
  EXPECT_EQ(load(L"plain planted_library.dll"), 0u) << "the control: the library is found";
  EXPECT_EQ(load(L"hardened planted_library.dll"), static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(load(L"hardened ws2_32.dll"), 0u) << "the system's libraries still load";
}

TEST(Win32SystemTest, SixtyFourBitProcessIsNotUnderWow64) {
  Win32SystemInfo info;
  const auto answer = info.IsWow64Process();
  ASSERT_TRUE(answer.has_value());
  EXPECT_FALSE(*answer);  // these tests run as a 64-bit program
}

}  // namespace
}  // namespace kestrune::platform::win32

namespace kestrune::platform::win32 {
namespace {

TEST(Win32PowerRequestsTest, RequestIsCreatedSetClearedAndClosed) {
  Win32PowerRequests power;
  const auto request = power.Create(L"Kestrune is running.");
  if (request == 0) GTEST_SKIP() << "this system grants no power requests (wine has none)";
  EXPECT_TRUE(power.Set(request, PowerRequests::Type::kSystemRequired));
  EXPECT_TRUE(power.Clear(request, PowerRequests::Type::kSystemRequired));
  power.Close(request);
}

TEST(Win32WindowPortTest, PostsOnlyToExistingWindows) {
  Win32WindowPort windows;
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const auto handle = reinterpret_cast<WindowHandle>(window);
  EXPECT_TRUE(windows.IsWindow(handle));
  EXPECT_TRUE(windows.Post(handle, 0x9003, 0x9050, 0));
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, window, 0x9003, 0x9003, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0x9050u);
  DestroyWindow(window);
  EXPECT_FALSE(windows.IsWindow(handle));
  EXPECT_FALSE(windows.Post(handle, 0x9003, 0, 0));
}

// A file and its folder deeper than 260 characters are read and listed by their plain paths.
TEST(Win32LongPathsTest, DeepFilesAreReadAndListed) {
  const std::wstring top = TestFolder() + L"\\long-paths";
  std::vector<std::wstring> folders{top};
  while (folders.back().size() <= 300)
    folders.push_back(folders.back() + L"\\" + std::wstring(60, L'd'));
  for (const std::wstring& folder : folders) {
    ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
  }
  const std::wstring file = folders.back() + L"\\f.bin";
  {
    windows::UniqueHandle out(CreateFileW(ExtendedLengthPath(file).c_str(), GENERIC_WRITE, 0,
                                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(out.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(out.get(), "deep", 4, &written, nullptr));
  }

  std::string failure;
  auto reader = ReadOnlyFile::Open(file, failure);
  ASSERT_TRUE(reader.has_value()) << failure;
  char bytes[8] = {};
  EXPECT_EQ(reader->ReadFull(bytes, sizeof(bytes)), 4);
  EXPECT_EQ(std::string(bytes, 4), "deep");
  reader.reset();

  FolderReader& folderReader = FileSystemFolders();
  std::vector<FolderEntry> entries;
  ASSERT_EQ(folderReader.List(folders.back(), entries), FolderListing::kComplete);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"f.bin");
  EXPECT_EQ(entries[0].kind, PathKind::kOther);
  EXPECT_EQ(folderReader.Kind(folders.back()), PathKind::kFolder);
  EXPECT_EQ(folderReader.List(file + L".absent", entries), FolderListing::kMissing);
  EXPECT_EQ(folderReader.List(file, entries), FolderListing::kFailed) << "a file is no folder";

  EXPECT_TRUE(DeleteFileW(ExtendedLengthPath(file).c_str()));
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    EXPECT_TRUE(RemoveDirectoryW(ExtendedLengthPath(*folder).c_str()));
  }
}

}  // namespace
}  // namespace kestrune::platform::win32
