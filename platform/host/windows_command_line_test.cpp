#include "platform/host/windows_command_line.h"

#include <gtest/gtest.h>

namespace kestrune::platform::host {
namespace {

using Args = std::vector<std::wstring>;

TEST(SplitWindowsParametersTest, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitWindowsParameters(L""), Args{});
  EXPECT_EQ(SplitWindowsParameters(L"  \t "), Args{});
  EXPECT_EQ(SplitWindowsParameters(L"/C del  /F\t*.*"), (Args{L"/C", L"del", L"/F", L"*.*"}));
  EXPECT_EQ(SplitWindowsParameters(L"e \"C:\\My Files\\set.7z\" -p\"pass word\""),
            (Args{L"e", L"C:\\My Files\\set.7z", L"-ppass word"}));
  EXPECT_EQ(SplitWindowsParameters(L"\"\""), Args{L""});
  EXPECT_EQ(SplitWindowsParameters(L"a\"b c\"d"), Args{L"ab cd"});
}

TEST(SplitWindowsParametersTest, BackslashRulesOfTheRuntime) {
  EXPECT_EQ(SplitWindowsParameters(L"a\\\\b"), Args{L"a\\\\b"});            // literal
  EXPECT_EQ(SplitWindowsParameters(L"a\\\"b"), Args{L"a\"b"});              // \" is a quote
  EXPECT_EQ(SplitWindowsParameters(L"\"a\\\\\" b"), (Args{L"a\\", L"b"}));  // \\" halves
  EXPECT_EQ(SplitWindowsParameters(L"a\\\\\\\"b"), Args{L"a\\\"b"});        // \\\" = \ and "
  EXPECT_EQ(SplitWindowsParameters(L".\\"), Args{L".\\"});
}

TEST(SplitWindowsParametersTest, DoubledQuoteInsideQuotesIsALiteralQuote) {
  EXPECT_EQ(SplitWindowsParameters(L"\"a\"\"b\" c"), (Args{L"a\"b", L"c"}));
  EXPECT_EQ(SplitWindowsParameters(L"\"unterminated quote"), Args{L"unterminated quote"});
}

TEST(SplitWindowsParametersTest, DiskpartCommandKeepsItsRedirections) {
  EXPECT_EQ(
      SplitWindowsParameters(L"/C chcp 437 & diskpart /s \"/w/s.txt\" > \"/w/o.txt\""),
      (Args{L"/C", L"chcp", L"437", L"&", L"diskpart", L"/s", L"/w/s.txt", L">", L"/w/o.txt"}));
}

}  // namespace
}  // namespace kestrune::platform::host
