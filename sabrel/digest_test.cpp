#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "sabrel/digest_text.h"
#include "sabrel/file_digest.h"
#include "sabrel/md5.h"
#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

namespace fs = std::filesystem;
using testing::Md5Hex;
using testing::TempFolder;
using testing::WriteFile;

TEST(Md5Test, MatchesTheReferenceVectors) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(
      Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, ReusedInstanceStartsEachDigestAfresh) {
  Md5 md5;
  ASSERT_TRUE(md5.Ok());
  const std::string abandoned = "not part of the next digest";
  ASSERT_TRUE(md5.Begin());
  ASSERT_TRUE(md5.Update(std::as_bytes(std::span(abandoned.data(), abandoned.size()))));
  ASSERT_TRUE(md5.Begin());
  const std::string abc = "abc";
  ASSERT_TRUE(md5.Update(std::as_bytes(std::span(abc.data(), abc.size()))));
  EXPECT_EQ(DigestToHex(*md5.Finish()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_FALSE(md5.Finish()) << "a finished digest cannot be finished twice";
}

TEST(DigestTextTest, AcceptsEitherCaseAndNothingElse) {
  const auto lower = ParseDigest("900150983cd24fb0d6963f7d28e17f72");
  const auto upper = ParseDigest("900150983CD24FB0D6963F7D28E17F72");
  ASSERT_TRUE(lower && upper);
  EXPECT_EQ(*lower, *upper);
  EXPECT_EQ(DigestToHex(*upper), "900150983cd24fb0d6963f7d28e17f72");

  EXPECT_FALSE(ParseDigest("900150983cd24fb0d6963f7d28e17f7"));    // 31 digits
  EXPECT_FALSE(ParseDigest("900150983cd24fb0d6963f7d28e17f720"));  // 33 digits
  EXPECT_FALSE(ParseDigest("900150983cd24fb0d6963f7d28e17fg2"));   // not hexadecimal
  EXPECT_FALSE(ParseDigest("0x0150983cd24fb0d6963f7d28e17f72aa"));
  EXPECT_FALSE(ParseDigest(""));
}

class DigestFileTest : public ::testing::Test {
 protected:
  FileDigest Digest(const std::string& name, std::size_t bufferBytes = 4096) {
    std::vector<std::byte> buffer(bufferBytes);
    Md5 md5;
    return DigestFile(folder.path() / name, buffer, md5);
  }

  TempFolder folder;
};

TEST_F(DigestFileTest, WholeFileWhateverTheBufferSize) {
  std::string content;
  for (int i = 0; i < 10000; ++i) content += static_cast<char>(i * 7 + i / 13);
  WriteFile(folder.path() / "data.bin", content);
  for (const std::size_t buffer : {std::size_t{1}, std::size_t{4096}, content.size(),
                                   content.size() + 1, std::size_t{1} << 20}) {
    const FileDigest result = Digest("data.bin", buffer);
    ASSERT_EQ(result.outcome, DigestOutcome::kDone) << buffer;
    EXPECT_EQ(DigestToHex(result.digest), Md5Hex(content)) << buffer;
  }
  WriteFile(folder.path() / "empty", "");
  EXPECT_EQ(DigestToHex(Digest("empty").digest), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(DigestFileTest, PermissionDeniedWhenNotRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  WriteFile(folder.path() / "secret", "x");
  fs::permissions(folder.path() / "secret", fs::perms::none);
  EXPECT_EQ(Digest("secret").outcome, DigestOutcome::kDenied);
}

}  // namespace
}  // namespace kestrune::sabrel
