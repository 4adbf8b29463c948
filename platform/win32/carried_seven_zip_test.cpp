// The Windows 7-Zip that KestrixDw.exe carries, started the way the program starts it.
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/tool_runner.h"
#include "platform/win32/win32_process_launcher.h"

namespace kestrune::platform::win32 {
namespace {

namespace fs = std::filesystem;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// 7z.exe and 7z.dll of the carried package in a fresh work folder.
class CarriedSevenZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring package = Environment(L"KESTRUNE_TEST_7ZIP_DIR");
    ASSERT_FALSE(package.empty()) << "KESTRUNE_TEST_7ZIP_DIR names no folder";
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    work_ = fs::path(std::wstring(module, length)).parent_path() / L"carried_seven_zip";
    std::error_code error;
    fs::remove_all(work_, error);
    fs::create_directories(work_);
    for (const wchar_t* file : {L"7z.exe", L"7z.dll"})
      ASSERT_TRUE(CopyFileW((package + L"\\" + file).c_str(), (work_ / file).c_str(), FALSE));
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(work_, error);
  }

  // Runs the work folder's 7z.exe hidden with `parameters`; its exit code, or -1.
  int64_t SevenZip(const std::wstring& parameters) {
    Win32ProcessLauncher launcher;
    int got = 0;
    uint32_t code = 0;
    const bool ran = RunTool(launcher, nullptr, (work_ / L"7z.exe").wstring(), parameters,
                             work_.wstring(), &got, &code, false);
    return ran || got ? static_cast<int64_t>(code) : -1;
  }

  fs::path work_;
};

// The USB writer names the medium as -o"E:\": the backslash before the closing quote is part
// of the folder for 7-Zip's own command-line parser, where the C runtime's rules (and the
// Linux build's splitter) would read it as an escaped quote.
TEST_F(CarriedSevenZipTest, UnpacksOntoAQuotedDriveRoot) {
  const fs::path root = L"C:\\kestrune-7z-root-check";
  std::error_code error;
  fs::remove_all(root, error);
  fs::create_directories(work_ / L"kestrune-7z-root-check" / L"sources");
  std::ofstream(work_ / L"kestrune-7z-root-check" / L"sources" / L"install.swm") << "image part";
  ASSERT_EQ(SevenZip(L"a \"disc1.7z\" kestrune-7z-root-check"), 0);

  EXPECT_EQ(SevenZip(L"x \"disc1.7z\" -o\"C:\\\" -aoa -r"), 0);
  EXPECT_EQ(ReadText(root / L"sources" / L"install.swm"), "image part");
  fs::remove_all(root, error);
}

}  // namespace
}  // namespace kestrune::platform::win32
