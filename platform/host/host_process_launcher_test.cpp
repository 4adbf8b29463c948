#include "platform/host/host_process_launcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/native_path.h"
#include "test_support/test_files.h"

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;

class HostProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Writes its arguments, one per line, and its working folder into args.txt.
    WriteScript(
        "echo-args.sh",
        "#!/bin/sh\n: > args.txt\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> args.txt; done\n"
        "pwd >> args.txt\nexit 4\n");
  }

  void WriteScript(const std::string& name, const std::string& text) {
    std::ofstream(folder / name) << text;
    fs::permissions(folder / name, fs::perms::owner_all);
  }
  std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  uint32_t RunToEnd(ProcessLauncher::StartResult& start) {
    EXPECT_TRUE(start.started);
    EXPECT_TRUE(start.process->WaitForExit(10000));
    uint32_t code = 0;
    EXPECT_TRUE(start.process->ReadExitCode(code));
    return code;
  }

  kestrune::testing::TempFolder temp;
  fs::path folder = temp.path();
};

TEST_F(HostProcessLauncherTest, AProgramRunsInTheWorkingFolderWithSplitParameters) {
  HostProcessLauncher launcher("/bin/false", {});
  auto start = launcher.StartHidden(FromNativePath(folder / "echo-args.sh"),
                                    L"x \"two words\" -p\"a b\" .\\", FromNativePath(folder));
  EXPECT_EQ(RunToEnd(start), 4u);
  EXPECT_EQ(Lines(folder / "args.txt"), (std::vector<std::string>{"x", "two words", "-pa b", ".\\",
                                                                  fs::canonical(folder).string()}));
}

TEST_F(HostProcessLauncherTest, CmdExeOfTheSystemFolderIsTheInterpreterStandIn) {
  HostProcessLauncher launcher(folder / "echo-args.sh", folder / "system32");
  auto start = launcher.StartHidden(FromNativePath(folder / "system32" / "cmd.exe"),
                                    L"/D /C del *.*", FromNativePath(folder));
  EXPECT_EQ(RunToEnd(start), 4u);
  EXPECT_EQ(Lines(folder / "args.txt").front(), "/D");
}

TEST_F(HostProcessLauncherTest, ANameThatIsNotAbsoluteIsNeverSearchedFor) {
  // A program of that name in the working folder, or a cmd.exe there, would run if it were.
  WriteScript("cmd.exe", "#!/bin/sh\ntouch ran\n");
  HostProcessLauncher launcher(folder / "echo-args.sh", folder / "system32");
  for (const wchar_t* name : {L"cmd.exe", L"CMD.EXE", L"echo-args.sh", L"./echo-args.sh"}) {
    const auto start = launcher.StartHidden(name, L"", FromNativePath(folder));
    EXPECT_FALSE(start.started);
    EXPECT_EQ(start.error, 2u);
  }
  EXPECT_FALSE(fs::exists(folder / "args.txt"));
  EXPECT_FALSE(fs::exists(folder / "ran"));
}

TEST_F(HostProcessLauncherTest, FailedStartsGiveWindowsErrorCodes) {
  HostProcessLauncher launcher("/bin/false", {});
  auto missing = launcher.StartHidden(FromNativePath(folder / "absent.exe"), L"",
                                      FromNativePath(folder));
  EXPECT_FALSE(missing.started);
  EXPECT_EQ(missing.error, 2u);

  std::ofstream(folder / "plain.exe") << "not a program";
  fs::permissions(folder / "plain.exe", fs::perms::owner_read | fs::perms::owner_write);
  auto denied =
      launcher.StartHidden(FromNativePath(folder / "plain.exe"), L"", FromNativePath(folder));
  EXPECT_FALSE(denied.started);
  EXPECT_EQ(denied.error, 5u);
}

TEST_F(HostProcessLauncherTest, TerminateEndsTheChildAndWhatItStarted) {
  WriteScript("tree.sh", "#!/bin/sh\nsleep 60 &\necho $! > grandchild.pid\nwait\n");
  HostProcessLauncher launcher("/bin/false", {});
  auto start = launcher.StartHidden(FromNativePath(folder / "tree.sh"), L"", FromNativePath(folder));
  ASSERT_TRUE(start.started);
  while (!fs::exists(folder / "grandchild.pid") || fs::file_size(folder / "grandchild.pid") == 0) {
    ASSERT_FALSE(start.process->WaitForExit(10));
  }
  pid_t grandchild = 0;
  std::ifstream(folder / "grandchild.pid") >> grandchild;
  start.process->Terminate(0xffff);
  EXPECT_TRUE(start.process->WaitForExit(0));
  uint32_t code = 0;
  EXPECT_TRUE(start.process->ReadExitCode(code));
  EXPECT_EQ(code, 0xffffu);
  // The grandchild was killed with the group; give the kernel a moment to deliver it.
  auto ended = [grandchild] {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z";  // reaped, or a zombie
  };
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = ended();
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace kestrune::platform::host
