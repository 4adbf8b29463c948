#include "sabrel/command_line.h"

#include <gtest/gtest.h>

namespace kestrune::sabrel {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, TheWizardsCommandLineInAnyOrder) {
  const auto options = ParseCommandLine(Args{"-c", "DISC1_MD5.txt", "-d", "E:", "-e", "error.txt"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->listPath, "DISC1_MD5.txt");
  EXPECT_EQ(options->drive, "E:");
  EXPECT_EQ(options->errorPath, "error.txt");

  const auto reordered = ParseCommandLine(Args{"-e", "err", "-c", "list", "-d", "/media/usb"});
  ASSERT_TRUE(reordered);
  EXPECT_EQ(reordered->listPath, "list");
  EXPECT_EQ(reordered->drive, "/media/usb");
  EXPECT_EQ(reordered->errorPath, "err");
}

TEST(CommandLineTest, AProgressFileIsOptional) {
  EXPECT_EQ(ParseCommandLine(Args{"-c", "l", "-d", "E:", "-e", "x"})->progressPath, "");
  const auto options = ParseCommandLine(Args{"-p", "progress.txt", "-c", "l", "-d", "E:", "-e", "x"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->progressPath, "progress.txt");
  EXPECT_EQ(options->errorPath, "x");
}

TEST(CommandLineTest, AnythingElseIsAUsageError) {
  const std::vector<Args> wrong = {
      {},
      {"-c", "l", "-d", "E:"},                        // no error file
      {"-c", "l", "-d", "E:", "-e"},                  // option without value
      {"-c", "l", "-d", "E:", "-e", ""},              // empty value
      {"-c", "l", "-d", "E:", "-e", "x", "-c", "m"},  // repeated option
      {"-c", "l", "-d", "E:", "-e", "x", "extra"},    // stray argument
      {"-c", "l", "-d", "E:", "-x", "x"},             // unknown option
      {"-c", "l", "-d", "E:", "-e", "x", "-p"},       // progress file without a name
      {"-c", "l", "-d", "E:", "-e", "x", "-p", "a", "-p", "b"},
      {"-c", "l", "-d", "E:", "-p", "a"},  // a progress file is no error file
      {"-C", "l", "-d", "E:", "-e", "x"},             // options are case-sensitive
      {"/c", "l", "/d", "E:", "/e", "x"},
      {"-h"},
      {"--help"},
  };
  for (const Args& args : wrong) {
    EXPECT_FALSE(ParseCommandLine(args)) << ::testing::PrintToString(args);
  }
}

TEST(CommandLineTest, UsageTextNamesTheOptionsAndEveryExitCode) {
  const std::string_view usage = UsageText();
  EXPECT_NE(usage.find("-c LIST -d DRIVE -e ERRORFILE"), std::string_view::npos);
  for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  ", "  5  ", "  6  "}) {
    EXPECT_NE(usage.find(code), std::string_view::npos) << code;
  }
}

}  // namespace
}  // namespace kestrune::sabrel
