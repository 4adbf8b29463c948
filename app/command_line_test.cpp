#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/test_support.h"

namespace kestrune {
namespace {

using testing::TempFolder;
using testing::Wide;

class CommandLineTest : public ::testing::Test {
 protected:
  LaunchMode Parse(std::vector<std::wstring> arguments) {
    arguments.insert(arguments.begin(), L"KestrixDw.exe");
    SetRunContextDefaults(context);
    return ParseCommandLine(arguments, context);
  }
  std::wstring File(const std::string& name) { return Wide(folder.WriteFile(name)); }

  TempFolder folder;
  RunContext context{};
};

TEST_F(CommandLineTest, ModeIsTheExactFirstArgument) {
  EXPECT_EQ(Parse({}), LaunchMode::kNone);
  EXPECT_EQ(Parse({L"/Mode:Fernlow"}), LaunchMode::kWizard);
  EXPECT_EQ(Parse({L"/Mode:SevenZip"}), LaunchMode::kSevenZip);
  EXPECT_EQ(Parse({L"/mode:fernlow"}), LaunchMode::kNone);
  EXPECT_EQ(Parse({L"/Mode:SEVENZIP"}), LaunchMode::kNone);
  EXPECT_EQ(Parse({L"/Mode:Fernlow "}), LaunchMode::kNone);
}

TEST_F(CommandLineTest, UnknownModeReadsNothingElse) {
  const auto source = File("disc1.iso");
  EXPECT_EQ(Parse({L"/Mode:Other", L"label", L"5", source, L"/RW"}), LaunchMode::kNone);
  EXPECT_EQ(context.sourceCount, 0u);
  EXPECT_EQ(context.discState, 0u);
  EXPECT_TRUE(context.discLabel.empty());
  EXPECT_EQ(context.allowRewritable, 0u);
}

TEST_F(CommandLineTest, SecondArgumentIsLabelWhateverItLooksLike) {
  Parse({L"/Mode:Fernlow", L"/RW", L"0"});
  EXPECT_EQ(context.discLabel.view(), L"/RW");
  EXPECT_EQ(context.allowRewritable, 0u);
}

TEST_F(CommandLineTest, StateWordFollowsTheUnsignedScanRule) {
  const auto source = File("disc1.iso");
  Parse({L"/Mode:Fernlow", L"L", L"2147485704", source});
  EXPECT_EQ(context.discState, 0x80000808u);
  EXPECT_EQ(context.sourceCount, 1u);
}

TEST_F(CommandLineTest, StateWordWithTrailingTextStillReadsOneNumber) {
  const auto source = File("disc1.iso");
  Parse({L"/Mode:Fernlow", L"L", L"12abc", source});
  EXPECT_EQ(context.discState, 12u);
  EXPECT_EQ(context.sourceCount, 1u);
}

TEST_F(CommandLineTest, StateWordThatIsNotANumberEndsParsing) {
  const auto source = File("disc1.iso");
  Parse({L"/Mode:Fernlow", L"L", L"abc", source, L"/RW", L"/Pass:x"});
  EXPECT_EQ(context.discState, 0u);
  EXPECT_EQ(context.sourceCount, 0u);
  EXPECT_EQ(context.allowRewritable, 0u);
  EXPECT_TRUE(context.password.empty());
}

TEST(ScanUnsignedTest, ReadsAsTheRuntimeDoes) {
  EXPECT_EQ(ScanUnsigned(L"0"), 0u);
  EXPECT_EQ(ScanUnsigned(L"  42"), 42u);
  EXPECT_EQ(ScanUnsigned(L"+7"), 7u);
  EXPECT_EQ(ScanUnsigned(L"-1"), 0xffffffffu);
  EXPECT_EQ(ScanUnsigned(L"4294967296"), 0u);
  EXPECT_EQ(ScanUnsigned(L"99999999999999999999999"), 0xffffffffu);
  EXPECT_EQ(ScanUnsigned(L""), std::nullopt);
  EXPECT_EQ(ScanUnsigned(L"-"), std::nullopt);
  EXPECT_EQ(ScanUnsigned(L"x1"), std::nullopt);
}

TEST_F(CommandLineTest, SwitchesIgnoreLetterCase) {
  Parse({L"/Mode:Fernlow", L"L", L"0", L"/bit:64", L"/rw", L"/nv", L"/Ne", L"/nW", L"/p",
         L"/PASS:Secret"});
  EXPECT_EQ(context.bitness, 64u);
  EXPECT_EQ(context.allowRewritable, 1u);
  EXPECT_EQ(context.noBurnVerify, 1u);
  EXPECT_EQ(context.noEject, 1u);
  EXPECT_EQ(context.noWrite, 1u);
  EXPECT_EQ(context.allowPartial, 1u);
  EXPECT_EQ(context.password.view(), L"Secret");  // the value keeps its case
}

TEST_F(CommandLineTest, DefaultsStayWithoutSwitches) {
  Parse({L"/Mode:Fernlow", L"L", L"0", L"/Bit:32", L"/Bit:64x"});
  EXPECT_EQ(context.bitness, 32u);
  EXPECT_EQ(context.allowedMediaMask, 0x800u);
}

TEST_F(CommandLineTest, EmptyPasswordSwitchIsAPathThatDoesNotExist) {
  Parse({L"/Mode:SevenZip", L"L", L"0", L"/Pass:"});
  EXPECT_TRUE(context.password.empty());
  EXPECT_EQ(context.sourceCount, 0u);
}

TEST_F(CommandLineTest, PasswordSwitchWinsOverOtherSwitches) {
  Parse({L"/Mode:SevenZip", L"L", L"0", L"/Pass:/RW"});
  EXPECT_EQ(context.password.view(), L"/RW");
  EXPECT_EQ(context.allowRewritable, 0u);
}

TEST_F(CommandLineTest, SourcesAreExistingFilesOrFoldersInOrder) {
  const auto first = File("a b/disc 1.iso");
  const auto second = File("ディスク2.iso");
  const std::wstring missing = testing::Wide(folder.path()) + L"/missing.iso";
  Parse({L"/Mode:Fernlow", L"L", L"0", first, missing, testing::Wide(folder.path()), second});
  ASSERT_EQ(context.sourceCount, 3u);
  EXPECT_EQ(context.sources[0].path.view(), first);
  EXPECT_EQ(context.sources[1].path.view(), testing::Wide(folder.path()));
  EXPECT_EQ(context.sources[2].path.view(), second);
}

TEST_F(CommandLineTest, OnlyNineSourcesAreKept) {
  std::vector<std::wstring> arguments{L"/Mode:Fernlow", L"L", L"0"};
  for (int i = 1; i <= 10; ++i) arguments.push_back(File("disc" + std::to_string(i) + ".iso"));
  Parse(arguments);
  ASSERT_EQ(context.sourceCount, 9u);
  EXPECT_EQ(context.sources[8].path.view(), arguments[11]);
}

TEST_F(CommandLineTest, OverlongValuesNeverOverrunTheirFields) {
  const std::wstring longLabel(150, L'L');
  const std::wstring longPassword(64, L'p');
  const std::wstring fitPassword(63, L'q');
  std::string deep = "d";
  while (Wide(folder.path() / deep).size() < 300) deep += "/d";
  const auto longPath = File(deep + "/disc.iso");

  Parse({L"/Mode:SevenZip", longLabel, L"0", L"/Pass:" + longPassword, longPath});
  EXPECT_EQ(context.discLabel.view(), longLabel.substr(0, 99));
  EXPECT_TRUE(context.password.empty());
  EXPECT_EQ(context.sourceCount, 0u);

  Parse({L"/Mode:SevenZip", L"L", L"0", L"/Pass:" + fitPassword});
  EXPECT_EQ(context.password.view(), fitPassword);
}

// Each length limit of the command line's values, at it and one character either side. Each
// case parses into a fresh run context, as a refused value leaves its field as it was.
class LengthLimitsTest : public CommandLineTest {
 protected:
  /// `length` characters that differ from one place to the next.
  static std::wstring Text(size_t length) {
    std::wstring text;
    for (size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
  }
  /// An existing file whose full path is exactly `length` characters long.
  std::wstring FileWithPathOf(size_t length) {
    const size_t base = Wide(folder.path()).size() + 1;
    std::string relative = std::to_string(length) + "/";
    while (base + relative.size() + 150 < length) relative += std::string(100, 'd') + "/";
    relative += std::string(length - base - relative.size(), 'f');
    const std::wstring file = File(relative);
    EXPECT_EQ(file.size(), length) << "the test's own file";
    return file;
  }
};

TEST_F(LengthLimitsTest, ALabelOver99CharactersIsShortenedTo99) {
  for (const size_t length : {98, 99, 100, 101}) {
    RunContext own{};
    ParseCommandLine({L"KestrixDw.exe", L"/Mode:Fernlow", Text(length), L"0"}, own);
    EXPECT_EQ(own.discLabel.view(), Text(std::min<size_t>(length, 99))) << length;
  }
}

TEST_F(LengthLimitsTest, APasswordOver63CharactersIsIgnored) {
  for (const size_t length : {62, 63, 64, 65}) {
    RunContext own{};
    ParseCommandLine({L"KestrixDw.exe", L"/Mode:SevenZip", L"L", L"0", L"/Pass:" + Text(length)},
                     own);
    EXPECT_EQ(own.password.view(), length <= 63 ? Text(length) : L"") << length;
  }
}

TEST_F(LengthLimitsTest, ASourceWhosePathIsOver259CharactersIsIgnored) {
  for (const size_t length : {258, 259, 260, 261}) {
    const std::wstring source = FileWithPathOf(length);
    RunContext own{};
    ParseCommandLine({L"KestrixDw.exe", L"/Mode:Fernlow", L"L", L"0", source}, own);
    if (length <= 259) {
      ASSERT_EQ(own.sourceCount, 1u) << length;
      EXPECT_EQ(own.sources[0].path.view(), source);
    } else {
      EXPECT_EQ(own.sourceCount, 0u) << length;
      EXPECT_TRUE(own.sources[0].path.empty()) << length;
    }
  }
}

TEST_F(CommandLineTest, QuotesCannotReachTheToolParameters) {
  const auto quoted = File("odd\"name.iso");
  Parse({L"/Mode:SevenZip", L"L", L"0", L"/Pass:a\" -oX", quoted});
  EXPECT_TRUE(context.password.empty());
  EXPECT_EQ(context.sourceCount, 0u);
}

TEST(FixedTextTest, TruncationKeepsSurrogatePairsWhole) {
  FixedText<4> text;
  text.AssignTruncated(std::wstring{L'a', L'b', wchar_t(0xD83D), wchar_t(0xDE00)});
  EXPECT_EQ(text.view(), L"ab");
  EXPECT_FALSE(text.Assign(L"abcd"));
  EXPECT_EQ(text.view(), L"ab");
  EXPECT_TRUE(text.Assign(L"abc"));
  EXPECT_EQ(text.view(), L"abc");
}

}  // namespace
}  // namespace kestrune
