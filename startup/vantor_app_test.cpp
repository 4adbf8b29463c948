#include "startup/vantor_app.h"

#include <gtest/gtest.h>

#include "app/test_support.h"
#include "platform/native_path.h"

namespace kestrune {
namespace {

using testing::FakeLauncher;
using testing::FakePlatform;
using testing::TempFolder;

class RecordingWizard : public WizardBranch {
 public:
  void Run(RunContext& context) override {
    ++runs;
    sources = context.sourceCount;
  }
  int runs = 0;
  uint32_t sources = 0;
};

class VantorAppTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::wstring> arguments) {
    arguments.insert(arguments.begin(), L"KestrixDw.exe");
    EXPECT_FALSE(app.InitInstance(arguments));
  }

  TempFolder folder;
  FakePlatform fakes;
  RecordingWizard wizard;
  AppServices services{fakes.tools,   fakes.downloader, fakes.output,
                       fakes.setup,   fakes.journals,   fakes.users};
  CVantorApp app{services, &wizard};
};

TEST_F(VantorAppTest, WithoutAValidModeTheDownloaderStarts) {
  Start({});
  EXPECT_EQ(fakes.setup.prepared, 1);
  EXPECT_EQ(fakes.downloader.starts, 1);
  EXPECT_EQ(wizard.runs, 0);
  EXPECT_TRUE(fakes.output.written.empty());
  EXPECT_EQ(app.context().allowedMediaMask, 0x800u);
  EXPECT_EQ(app.context().bitness, 32u);
}

TEST_F(VantorAppTest, UnsplittableCommandLineStartsTheDownloader) {
  EXPECT_FALSE(app.InitInstance({}));
  EXPECT_EQ(fakes.downloader.starts, 1);
}

TEST_F(VantorAppTest, WizardModeWithoutSourcesEndsSilently) {
  Start({L"/Mode:Fernlow", L"label", L"0", testing::Wide(folder.path() / "missing.iso")});
  EXPECT_EQ(wizard.runs, 0);
  EXPECT_EQ(fakes.downloader.starts, 0);
  EXPECT_TRUE(fakes.launcher.calls.empty());
  EXPECT_TRUE(fakes.output.written.empty());
}

TEST_F(VantorAppTest, WizardModeWithASourceRunsTheWizard) {
  Start({L"/Mode:Fernlow", L"label", L"0", testing::Wide(folder.WriteFile("disc1.iso"))});
  EXPECT_EQ(wizard.runs, 1);
  EXPECT_EQ(wizard.sources, 1u);
}

class SevenZipBranchTest : public VantorAppTest {
 protected:
  std::wstring archive = testing::Wide(folder.WriteFile("set.7z"));
};

TEST_F(SevenZipBranchTest, ExtractsTheArchiveFlatIntoItsFolder) {
  fakes.launcher.child = {.endsAfterWaits = 1, .exitCodeReadable = true, .exitCode = 0};
  Start({L"/Mode:SevenZip", L"label", L"0", L"/Pass:SECRET", archive});

  ASSERT_EQ(fakes.launcher.calls.size(), 1u);
  const auto& call = fakes.launcher.calls[0];
  ASSERT_EQ(fakes.carriedTools.writes.size(), 4u) << "the tools are written first";
  const std::filesystem::path tool = platform::ToNativePath(fakes.carriedTools.writes[0].second);
  EXPECT_EQ(tool.parent_path().parent_path(), fakes.privateFolders.root.path() / "Kestrune")
      << "into a private run folder, never beside the archive";
  EXPECT_EQ(call.program, fakes.carriedTools.writes[0].second) << "7-Zip runs from there";
  EXPECT_EQ(call.parameters, L"e \"" + archive + L"\" -p\"SECRET\" -o\"" +
                                 testing::Wide(folder.path()) + L"\" -aoa -y");
  EXPECT_EQ(call.folder, testing::Wide(folder.path()));
  EXPECT_EQ(fakes.output.written, "1\n");
  EXPECT_TRUE(fakes.privateFolders.Left().empty()) << "the run folder goes with the run";
}

TEST_F(SevenZipBranchTest, NothingIsPrintedUnlessSevenZipEndsWithZero) {
  fakes.launcher.child = {.endsAfterWaits = 1, .exitCodeReadable = true, .exitCode = 2};
  Start({L"/Mode:SevenZip", L"label", L"0", L"/Pass:WRONG", archive});
  EXPECT_TRUE(fakes.output.written.empty());
}

TEST_F(SevenZipBranchTest, NothingIsPrintedWhenSevenZipCannotStart) {
  fakes.launcher.outcome = FakeLauncher::Outcome::kCannotStart;
  Start({L"/Mode:SevenZip", L"label", L"0", L"/Pass:SECRET", archive});
  EXPECT_TRUE(fakes.output.written.empty());
}

TEST_F(SevenZipBranchTest, NothingRunsWithoutPasswordOrSource) {
  Start({L"/Mode:SevenZip", L"label", L"0", archive});
  Start({L"/Mode:SevenZip", L"label", L"0", L"/Pass:SECRET"});
  EXPECT_TRUE(fakes.launcher.calls.empty());
  EXPECT_TRUE(fakes.carriedTools.writes.empty());
  EXPECT_TRUE(fakes.output.written.empty());
  EXPECT_EQ(fakes.downloader.starts, 0);
}

}  // namespace
}  // namespace kestrune
