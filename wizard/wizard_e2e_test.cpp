// The Linux kestrixdw end to end: scripts drive the wizard on temporary simulated machines.
#include <gtest/gtest.h>

#include "wizard/wizard_e2e_support.h"

namespace kestrune {
namespace {

using testing::RunWizard;
using testing::SampleDiscs;
using testing::WizardRun;

class WizardEndToEndTest : public ::testing::Test {
 protected:
  /// The label, the state word and the images of a set of `discs`.
  std::vector<std::string> Arguments(int discs, uint32_t state = 0, const char* label = "Sample") {
    std::vector<std::string> arguments{label, std::to_string(state)};
    for (const auto& image : SampleDiscs(discs)) arguments.push_back(image.string());
    return arguments;
  }

  sim::testing::TemporaryMachine machine;
};

TEST_F(WizardEndToEndTest, TheFirstPagesSpeakEnglish) {
  const WizardRun run =
      RunWizard(machine.folder(), "wait page start\ndump\nnext\nwait page info\ndump\nclose\n",
                Arguments(2, 0, "Recovery Media"));
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, "0\n");
  EXPECT_EQ(run.transcript.front(), "page start buttons=Next cancel=on");
  EXPECT_TRUE(run.Has("text s1022 \"Insert disc into drive and click Next.\"")) << run.Text();
  EXPECT_TRUE(run.Has("text 1154 \"Recovery Media\""));
  EXPECT_TRUE(run.Has("item 1153 1 \"For DVD-R DL (2 layers)\" \"2\""));
  EXPECT_TRUE(run.Has("item 1153 2 \"For USB drive\" \"Minimum of 16 GB \""));
  EXPECT_TRUE(run.Has("page info buttons=Back,Next cancel=on"));
  EXPECT_EQ(run.transcript.back(), "end 2");
  ASSERT_FALSE(run.Lines("text 1102 ").empty());
  EXPECT_EQ(run.Lines("text 1102 ")[0].rfind(
                "text 1102 \"Use the downloaded recovery data to create a recovery disc. (Time "
                "required: about ",
                0),
            0u);
}

TEST_F(WizardEndToEndTest, TheFirstPagesSpeakJapaneseInAJapaneseLocale) {
  const WizardRun run = RunWizard(machine.folder(), "dump\nnext\nwait page info\ndump\nclose\n",
                                  Arguments(2, 0, "リカバリー"), {{"LANG", "ja_JP.UTF-8"}});
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_TRUE(run.Has("text s1021 \"使用上の注意\"")) << run.Text();
  EXPECT_TRUE(run.Has("text 1154 \"リカバリー\""));
  EXPECT_TRUE(run.Has("item 1153 2 \"USB ドライブの場合\" \"16 GB 以上\""));
}

TEST_F(WizardEndToEndTest, AScriptErrorEndsTheSessionAndStillPrintsTheLine) {
  const WizardRun run = RunWizard(machine.folder(), "wait page start\nback\n", Arguments(1), {}, 1);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.Has("script-error 2: Back is disabled")) << run.Text();
  EXPECT_EQ(run.output, "0\n") << "the wizard was shown";
  EXPECT_EQ(run.transcript.back(), "end 0");
}

TEST_F(WizardEndToEndTest, UnknownCommandsAndWaitsThatNeverComeTrueAreErrors) {
  WizardRun run = RunWizard(machine.folder(), "# a comment\n\nfly away\n", Arguments(1));
  EXPECT_TRUE(run.Has("script-error 3: unknown command \"fly\"")) << run.Text();
  EXPECT_EQ(run.status, 2);

  run = RunWizard(machine.folder(), "wait box 999\n", Arguments(1), {}, 1);
  EXPECT_TRUE(run.Has("script-error 1: waited 1 s for box 999")) << run.Text();
}

TEST_F(WizardEndToEndTest, WithoutTheScriptedFrontEndNothingRunsAndNothingIsPrinted) {
  const WizardRun run = RunWizard(machine.folder(), "", Arguments(1), {{"KESTRUNE_UI", "tv"}});
  EXPECT_EQ(run.output, "");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("KESTRUNE_UI"), std::string::npos);
}

}  // namespace
}  // namespace kestrune
