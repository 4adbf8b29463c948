// The three checks after writing, end to end on a temporary simulated machine: the real
// stand-ins for cmd.exe and 7-Zip, the carried Harlune and Sabrel, a sample recovery set.
#include "verify/verification_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>

#include "app/carried_tool_files.h"
#include "app/test_support.h"
#include "app/work_area.h"
#include "engine/job_protocol.h"
#include "engine/vantor_thread.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_power_requests.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_system.h"
#include "platform/host/window_table.h"
#include "platform/native_path.h"
#include "sim/sim_disc_service.h"
#include "sim/sim_restart_cleanup.h"
#include "sim/sim_test_support.h"
#include "sim/sim_volume_info.h"
#include "text/utf8.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using platform::host::PostedMessage;
using text::Utf8FromWide;

const fs::path kBin = KESTRUNE_BIN_DIR;

// A child the runner must believe still running after its first wait slice, so that it looks
// at the stop event while the child runs.
class HeldChild : public platform::ChildProcess {
 public:
  explicit HeldChild(std::unique_ptr<platform::ChildProcess> child) : child_(std::move(child)) {}
  bool WaitForExit(uint32_t milliseconds) override {
    if (held_) return child_->WaitForExit(milliseconds);
    held_ = true;
    // Whether it ended in this slice or not, the runner is told it still runs.
    static_cast<void>(child_->WaitForExit(milliseconds));
    return false;
  }
  void Terminate(uint32_t exitCode) override { child_->Terminate(exitCode); }
  bool ReadExitCode(uint32_t& exitCode) override { return child_->ReadExitCode(exitCode); }

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  bool held_ = false;
};

// The real launcher, recording every command line; a program named in `stopWhile` sets the
// stop event as it starts and is held for one wait slice.
class RecordingLauncher : public platform::ProcessLauncher {
 public:
  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& folder) override {
    calls.push_back(Utf8FromWide(program + L" " + parameters));
    if (onStart) onStart(program);
    StartResult result = real_.StartHidden(program, parameters, folder);
    if (result.process && !stopWhile.empty() &&
        platform::ToNativePath(program).filename() == platform::ToNativePath(stopWhile)) {
      stopEvent->Set();
      result.process = std::make_unique<HeldChild>(std::move(result.process));
    }
    return result;
  }

  StartResult StartHiddenWithOutput(const std::wstring& program, const std::wstring& parameters,
                                    const std::wstring& folder,
                                    const std::wstring& outputFile) override {
    calls.push_back(Utf8FromWide(program + L" " + parameters));
    return real_.StartHiddenWithOutput(program, parameters, folder, outputFile);
  }

  std::vector<std::string> calls;
  std::function<void(const std::wstring&)> onStart;
  /// The file name of the program to stop while it runs.
  std::wstring stopWhile;
  platform::AutoResetEvent* stopEvent = nullptr;

 private:
  platform::host::HostProcessLauncher real_{kBin / "kestrune-cmd", {}};
};

// Programs that leave a marker beside themselves when they run, named as the carried tools.
void PlantTools(const fs::path& folder, const fs::path& marker) {
  for (const char* name : {"7z.exe", "7z.dll", "Harlune.exe", "Sabrel.exe"}) {
    const fs::path file = folder / name;
    testing::WriteFile(
        file, "#!/bin/sh\necho " + std::string(name) + " >> '" + marker.string() + "'\nexit 0\n");
    fs::permissions(file, fs::perms::owner_all);
  }
}

// Every entry below a folder with its bytes (or "<dir>") and whether it is writable.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const auto writable = (entry.symlink_status().permissions() & fs::perms::owner_write);
    const std::string mode = writable != fs::perms::none ? "rw " : "ro ";
    entries[fs::relative(entry.path(), folder).string()] =
        mode + (entry.is_directory() ? "<dir>" : testing::ReadFile(entry.path()));
  }
  return entries;
}

// The progress a comparison of every file below `folder` ends at, counted against `total`.
intptr_t FinalPerMille(const fs::path& folder, uint64_t total) {
  uint64_t steps = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) steps += (entry.file_size() + 511) / 512 + 1;
  }
  return static_cast<intptr_t>(steps * 1000 / (total >> 9));
}

class VerificationStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KESTRUNE_MACHINE", temp.folder().c_str(), 1);
    temp.Change([](sim::MachineDescription& d) { d.disks[1].writeBytesPerSecond = 0; });
    // The user's image folder, as the downloader leaves it, with the user's own files.
    for (int disc = 1; disc <= 2; ++disc) {
      const fs::path image = images.path() / ("disc" + std::to_string(disc) + ".iso");
      fs::copy_file(sim::testing::SampleImage(disc), image);
      context.sources[disc - 1].path.Assign(testing::Wide(image));
      context.sources[disc - 1].sizeBytes = fs::file_size(image);
    }
    context.sourceCount = 2;
    images.WriteFile("notes.txt", "my notes\n");
    images.WriteFile("README.TXT", "read me\n");
    fs::permissions(images.path() / "README.TXT", fs::perms::owner_read);
    images.WriteFile("setup.exe", "MZ the user's installer");
    images.WriteFile("helper.dll", "MZ the user's library");
    images.WriteFile("photos/holiday.jpg", "jpeg");
    before = Snapshot(images.path());

    context.sheetWnd = sheet;
    context.writePageWnd = page;
    launcher.stopEvent = &stop;
    worker.m_pStopEvent = &stop;
  }
  void TearDown() override { ::unsetenv("KESTRUNE_MACHINE"); }

  // The USB drive F: as the USB writer leaves it: every image unpacked onto it by 7-Zip.
  void WriteStick() {
    context.targetDriveLetter = L'F';
    for (uint32_t i = 0; i < context.sourceCount; ++i) {
      ASSERT_EQ(platform::host::RunQuietly({(kBin / "kestrune-7z").string(), "x",
                                            Utf8FromWide(context.sources[i].path.str()),
                                            "-o" + Stick().string(), "-aoa", "-r"}),
                0);
    }
  }
  // Disc `n` burned in the recorder E: through the simulated disc service.
  void BurnDisc(int n) {
    context.targetDriveLetter = L'E';
    platform::HResult hr;
    auto recorder = discService.CreateRecorder(hr);
    auto writer = discService.CreateDataWriter(hr);
    std::wstring id;
    ASSERT_EQ(discService.GetRecorderUniqueId(0, id), platform::kS_OK);
    ASSERT_EQ(recorder->InitializeDiscRecorder(id), platform::kS_OK);
    ASSERT_EQ(writer->PutRecorder(recorder.get()), platform::kS_OK);
    auto stream = discService.OpenImageStream(context.sources[n - 1].path.str(), hr);
    ASSERT_EQ(hr, platform::kS_OK);
    ASSERT_EQ(writer->PutBurnVerificationLevel(platform::imapi::kVerificationNone),
              platform::kS_OK);
    ASSERT_EQ(writer->Write(*stream), platform::kS_OK);
  }
  fs::path Stick() { return temp.machine().VolumeFolder('F'); }
  // The recorded command lines, with the drive roots written as on Windows and the work area
  // and the image folder as AREA and IMAGES.
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (std::string call : launcher.calls) {
      for (const auto& [folder, name] :
           {std::pair{fs::path(Utf8FromWide(context.workArea.str())), "AREA"},
            std::pair{images.path(), "IMAGES"}}) {
        for (size_t at; (at = call.find(folder.string())) != std::string::npos;) {
          call.replace(at, folder.string().size(), name);
        }
      }
      for (char letter : {'E', 'F'}) {
        const std::string root = temp.machine().VolumeFolder(letter).string();
        for (size_t at; (at = call.find(root)) != std::string::npos;) {
          const bool slash = at + root.size() < call.size() && call[at + root.size()] == '/';
          call.replace(at, root.size() + (slash ? 1 : 0),
                       std::string(1, letter) + ":" + (slash ? "\\" : ""));
        }
      }
      calls.push_back(call);
    }
    return calls;
  }
  void ExpectImageFolderAsBefore() {
    EXPECT_EQ(Snapshot(images.path()), before) << "the image folder holds exactly what it held";
  }

  sim::testing::TemporaryMachine temp;
  sim::SimVolumeInfo volumes{temp.machine()};
  sim::SimDiscService discService{temp.machine()};
  testing::TempFolder images;
  std::map<std::string, std::string> before;

  RecordingLauncher launcher;
  platform::host::HostCarriedTools carriedTools{kBin / "tools"};
  platform::host::HostSystemInfo systemInfo{temp.machine().SystemFolder()};
  sim::SimRestartCleanup restartCleanup{temp.machine()};
  testing::FakeClock clock;
  testing::TemporaryPrivateFolders privateFolders;
  ToolServices tools{launcher,
                     carriedTools,
                     systemInfo,
                     restartCleanup,
                     clock,
                     privateFolders.files,
                     privateFolders.folders};
  RunContext context;
  RunWorkArea workArea{tools, context};
  platform::AutoResetEvent stop;
  CVantorThread worker{context, tools};

  platform::host::WindowTable windows;
  WindowHandle sheet = windows.Create();
  WindowHandle page = windows.Create();
  platform::host::RecordingPowerRequests power;
  testing::FakeOutput output;
  VerificationJobSteps steps{volumes, windows, power, output};
};

TEST_F(VerificationStepsTest, DiscComparisonPassesAGoodDiscAndFailsAFlippedByte) {
  BurnDisc(2);
  int powerDuringUnpack = -1;
  launcher.onStart = [&](const std::wstring& program) {
    if (program.ends_with(L"7z.exe")) powerDuringUnpack = power.ActiveRequests();
  };
  EXPECT_EQ(steps.RunDiscCompare(worker, 2), RESULT_OK);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"AREA/7z.exe x \"IMAGES/disc2.iso\" "
                                               "-o\"IMAGES/tempCompareFiles\" -aoa -r"}))
      << "the carried 7-Zip by its full path; no command interpreter";
  EXPECT_EQ(powerDuringUnpack, 1);
  EXPECT_EQ(power.OpenRequests(), 0);
  EXPECT_EQ(power.LastReason(), L"Kestrune is running.");
  const auto progress = windows.TakeAll(sheet);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), (PostedMessage{0x9110, 1, 0}));
  EXPECT_EQ(progress.back(), (PostedMessage{0x9110, 3,
                                            FinalPerMille(temp.machine().VolumeFolder('E'),
                                                          context.sources[1].sizeBytes)}));
  ExpectImageFolderAsBefore();

  temp.Change([](sim::MachineDescription& d) {
    d.recorders[0].disc = sim::DiscDescription{};
    d.recorders[0].flipByteAfterBurn = true;
  });
  BurnDisc(1);
  EXPECT_EQ(steps.RunDiscCompare(worker, 1), RESULT_COMPARE_MISMATCH);
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, StopBeforeADiscComparisonDoesNothingAtAll) {
  BurnDisc(1);
  stop.Set();
  EXPECT_EQ(steps.RunDiscCompare(worker, 1), RESULT_STOPPED);
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_TRUE(power.Calls().empty());
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, StopWhile7ZipUnpacksEndsItAsAMismatchAndConsumesTheSignal) {
  BurnDisc(1);
  launcher.stopWhile = L"7z.exe";
  EXPECT_EQ(steps.RunDiscCompare(worker, 1), RESULT_COMPARE_MISMATCH);
  EXPECT_FALSE(stop.TryConsume()) << "the wait that saw the stop consumed it";
  ExpectImageFolderAsBefore();

  WriteStick();
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_COMPARE_MISMATCH);
  EXPECT_EQ(std::count_if(launcher.calls.begin(), launcher.calls.end(),
                          [](const std::string& c) { return c.find("7z.exe") != c.npos; }),
            2)
      << "the second image is not unpacked after the first was stopped";
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, DiscNumbersWithoutAnImageAndImagesElsewhereFailUntouched) {
  BurnDisc(1);
  EXPECT_EQ(steps.RunDiscCompare(worker, 0), RESULT_COMPARE_MISMATCH);
  EXPECT_EQ(steps.RunDiscCompare(worker, 3), RESULT_COMPARE_MISMATCH);
  EXPECT_TRUE(launcher.calls.empty());

  // 7-Zip runs in the image folder: an image in another folder is never unpacked.
  testing::TempFolder elsewhere;
  fs::copy_file(images.path() / "disc2.iso", elsewhere.path() / "disc2.iso");
  context.sources[1].path.Assign(testing::Wide(elsewhere.path() / "disc2.iso"));
  EXPECT_EQ(steps.RunDiscCompare(worker, 2), RESULT_COMPARE_MISMATCH);
  for (const auto& call : launcher.calls) EXPECT_EQ(call.find("7z.exe"), call.npos) << call;
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, UnpackingThatYieldsNoFileIsAMismatch) {
  BurnDisc(1);
  // An archive that holds one empty folder and nothing else.
  fs::create_directory(images.path() / "nothing");
  ASSERT_EQ(platform::host::RunQuietly({"7zz", "a", (images.path() / "empty.7z").string(),
                                        (images.path() / "nothing").string()}),
            0);
  fs::remove(images.path() / "nothing");
  before = Snapshot(images.path());
  context.sources[0].path.Assign(testing::Wide(images.path() / "empty.7z"));
  EXPECT_EQ(steps.RunDiscCompare(worker, 1), RESULT_COMPARE_MISMATCH);
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, ComparisonFolderThatIsALinkOrAFileFailsWithoutUnpackingThroughIt) {
  WriteStick();
  testing::TempFolder target;
  target.WriteFile("precious.txt", "keep");
  fs::create_directory_symlink(target.path(), images.path() / "tempCompareFiles");
  before = Snapshot(images.path());
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_COMPARE_MISMATCH);
  EXPECT_EQ(Snapshot(target.path()),
            (std::map<std::string, std::string>{{"precious.txt", "rw keep"}}));
  ExpectImageFolderAsBefore();

  fs::remove(images.path() / "tempCompareFiles");
  images.WriteFile("tempCompareFiles", "a file of the user's");
  before = Snapshot(images.path());
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_COMPARE_MISMATCH);
  for (const auto& call : launcher.calls) EXPECT_EQ(call.find("7z.exe"), call.npos) << call;
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, UsbComparisonUnpacksEveryImageAndFindsAChangedFile) {
  fs::rename(images.path() / "disc1.iso", images.path() / "-disc1.iso");
  context.sources[0].path.Assign(testing::Wide(images.path() / "-disc1.iso"));
  before = Snapshot(images.path());
  WriteStick();
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_OK);
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{
                "AREA/7z.exe x \"IMAGES/-disc1.iso\" -o\"IMAGES/tempCompareFiles\" -aoa -r",
                "AREA/7z.exe x \"IMAGES/disc2.iso\" -o\"IMAGES/tempCompareFiles\" -aoa -r"}));
  const auto progress = windows.TakeAll(sheet);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(),
            (PostedMessage{0x9110, 3,
                           FinalPerMille(Stick(), context.sources[0].sizeBytes +
                                                      context.sources[1].sizeBytes)}))
      << "the total is the sum over all images";
  ExpectImageFolderAsBefore();

  std::ofstream(Stick() / "version.doc", std::ios::app) << "x";
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_COMPARE_MISMATCH);
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, Md5CheckPassesAGoodStick) {
  WriteStick();
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_OK);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"AREA/Harlune.exe USB MD5_OEM_RCV_Partition.txt",
                                               "AREA/Sabrel.exe -c DISC1_MD5.txt -d \"F:\" "
                                               "-e error.txt -p progress.txt"}))
      << "the list is copied natively; both tools run by their full path";
  EXPECT_FALSE(fs::exists(fs::path(Utf8FromWide(context.workArea.str())) / "md5check"))
      << "the check's folder goes when the check ends";
  // The start, what Sabrel had read each second it ran, and its end: all of it.
  const auto posted = windows.TakeAll(page);
  ASSERT_GE(posted.size(), 2u);
  EXPECT_EQ(posted.front(), (PostedMessage{WM_CHECK_PROGRESS, 0, kCheckStarting}));
  uint64_t listed = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Stick())) {
    if (entry.is_regular_file() && entry.path().filename() != "MD5_OEM_RCV_Partition.txt") {
      listed += entry.file_size();
    }
  }
  const auto totalKiB = static_cast<uintptr_t>((listed + 1023) / 1024);
  EXPECT_EQ(posted.back(),
            (PostedMessage{WM_CHECK_PROGRESS, totalKiB, static_cast<intptr_t>(totalKiB)}));
  for (size_t i = 1; i < posted.size(); ++i) {
    EXPECT_EQ(posted[i].wParam, totalKiB) << i;
    if (i > 1) {
      EXPECT_GE(posted[i].lParam, posted[i - 1].lParam) << i;
    }
  }
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, Md5CheckFailsAChangedFileAndAStickWithoutItsList) {
  temp.Change([](sim::MachineDescription& d) { d.disks[1].flipByteAfterUnpack = true; });
  WriteStick();
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_CHECK_FAILED);
  EXPECT_EQ(Calls().size(), 2u) << "Sabrel ran and found the file";
  ExpectImageFolderAsBefore();

  temp.Change([](sim::MachineDescription& d) { d.disks[1].flipByteAfterUnpack = false; });
  WriteStick();
  fs::remove(Stick() / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt");
  launcher.calls.clear();
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_CHECK_FAILED);
  for (const auto& call : launcher.calls) EXPECT_EQ(call.find("Sabrel"), call.npos) << call;
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, ListsInTheImageFolderAreNeverCheckedOrTouched) {
  WriteStick();
  // A list that matches the stick, as an earlier run or anybody could leave it beside the
  // images, with the recovery partition's list and an error file; the stick has lost its
  // own list.
  fs::copy_file(Stick() / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt",
                images.path() / "MD5_OEM_RCV_Partition.txt");
  ASSERT_EQ(platform::host::RunQuietly({"sh", "-c",
                                        "cd '" + images.path().string() + "' && '" +
                                            (kBin / "harlune").string() +
                                            "' USB MD5_OEM_RCV_Partition.txt"}),
            0);
  images.WriteFile("error.txt", "the user's error.txt");
  fs::remove(Stick() / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt");
  ASSERT_TRUE(fs::exists(images.path() / "DISC1_MD5.txt"));
  before = Snapshot(images.path());

  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_CHECK_FAILED);
  for (const auto& call : launcher.calls) EXPECT_EQ(call.find("Sabrel"), call.npos) << call;
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, ToolsPlantedInTheImageFolderNeverRun) {
  // Programs and a library named as the carried tools, which anybody who can write the
  // Downloads folder could put there: run, they would forge a passed check.
  const fs::path marker = images.path() / ".." / (images.path().filename().string() + "-ran");
  PlantTools(images.path(), marker);
  before = Snapshot(images.path());
  WriteStick();
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_OK);
  EXPECT_EQ(steps.RunUsbCompare(worker), RESULT_OK);
  BurnDisc(1);
  EXPECT_EQ(steps.RunDiscCompare(worker, 1), RESULT_OK);
  EXPECT_FALSE(fs::exists(marker)) << testing::ReadFile(marker);
  ExpectImageFolderAsBefore();

  // A list that Harlune rejects fails the check; Sabrel never runs on what is left of it.
  WriteStick();
  const fs::path list = Stick() / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt";
  testing::WriteFile(list, testing::ReadFile(list).substr(0, 9));
  launcher.calls.clear();
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_CHECK_FAILED);
  for (const auto& call : launcher.calls) EXPECT_EQ(call.find("Sabrel"), call.npos) << call;
  EXPECT_FALSE(fs::exists(marker));
  ExpectImageFolderAsBefore();
}

TEST_F(VerificationStepsTest, StopWhileSabrelChecksStopsTheStepAndStillCleansUp) {
  WriteStick();
  launcher.stopWhile = L"Sabrel.exe";
  EXPECT_EQ(steps.RunUsbMd5Check(worker), RESULT_STOPPED);
  EXPECT_FALSE(fs::exists(fs::path(Utf8FromWide(context.workArea.str())) / "md5check"));
  ExpectImageFolderAsBefore();
}

}  // namespace
}  // namespace kestrune
