#include "sabrel/check_drive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>

#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

namespace fs = std::filesystem;
using testing::DriveSet;
using testing::Md5Hex;
using testing::TempFolder;
using testing::Utf16LeFromUtf8;
using testing::WriteFile;

class CheckDriveTest : public ::testing::Test {
 protected:
  CheckDriveTest() {
    set.Add("version.doc", "version 1.0\r\n")
        .Add("sources/install.swm", std::string(300000, 'i'))
        .Add("sources/install2.swm", std::string(200000, 'j'))
        .Add("media/1_2.txt", "index")
        .Add("empty.txt", "");
  }

  CheckResult Check(unsigned workers = 0) {
    set.WriteList(list);
    return CheckWithListAsWritten(workers);
  }

  CheckResult CheckWithListAsWritten(unsigned workers = 0) {
    return CheckDrive({list, "DISC1_MD5.txt", set.root(), "E:", workers});
  }

  std::vector<std::string> Subjects(const CheckResult& result) {
    std::vector<std::string> subjects;
    for (const Failure& failure : result.failures) subjects.push_back(failure.subject);
    return subjects;
  }

  TempFolder folder;
  DriveSet set{folder.path() / "drive"};
  fs::path list = folder.path() / "DISC1_MD5.txt";
};

TEST_F(CheckDriveTest, GoodSetMatchesWithAnyNumberOfWorkers) {
  for (const unsigned workers : {0u, 1u, 2u, 7u}) {
    const CheckResult result = Check(workers);
    EXPECT_EQ(result.code, ExitCode::kAllMatch);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.listedFiles, 5u);
  }
}

TEST_F(CheckDriveTest, TheCountersCoverEveryFoundFileOnce) {
  // Listed twice, read once; a missing file adds nothing to read.
  set.Add("sources/again.swm", std::string(1000, 'a'));
  WriteFile(list, Utf16LeFromUtf8(set.ListText() + Md5Hex(std::string(1000, 'a')) +
                                  " sources/again.swm\r\n" + Md5Hex("gone") + " gone.txt\r\n"));
  CheckCounters counters;
  CheckRequest request{list, "DISC1_MD5.txt", set.root(), "E:", 2};
  request.counters = &counters;
  const CheckResult result = CheckDrive(request);
  EXPECT_EQ(result.code, ExitCode::kMissing);
  const uint64_t expected = 13 + 300000 + 200000 + 5 + 0 + 1000;
  EXPECT_EQ(counters.bytesTotal.load(), expected);
  EXPECT_EQ(counters.bytesDone.load(), expected);
  EXPECT_EQ(counters.listedFiles.load(), 8u) << "every line, found or not";
}

TEST_F(CheckDriveTest, OneFlippedByteIsAMismatchNamingBothDigests) {
  set.WriteList(list);
  std::string content(300000, 'i');
  content[123456] ^= 0x01;
  WriteFile(set.PathOf("sources/install.swm"), content);
  const CheckResult result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kMismatch);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(FormatFailure(result.failures[0]), "sources\\install.swm: expected " +
                                                   Md5Hex(std::string(300000, 'i')) + ", found " +
                                                   Md5Hex(content));
}

TEST_F(CheckDriveTest, MissingAndUnreadableFiles) {
  set.WriteList(list);
  fs::remove(set.PathOf("media/1_2.txt"));
  CheckResult result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kMissing);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(FormatFailure(result.failures[0]),
            "media\\1_2.txt: expected " + Md5Hex("index") + ", not found");

  // A folder, and a FIFO that would block a reader opening it normally.
  fs::create_directory(set.PathOf("media/1_2.txt"));
  fs::remove(set.PathOf("version.doc"));
  ASSERT_EQ(::mkfifo(set.PathOf("version.doc").c_str(), 0600), 0);
  result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kUnreadable);
  EXPECT_EQ(Subjects(result), (std::vector<std::string>{"version.doc", "media\\1_2.txt"}));
  EXPECT_NE(result.failures[0].detail.find("unreadable: not a regular file"), std::string::npos);
}

TEST_F(CheckDriveTest, FailuresOfDifferentKindsGiveTheLargestCode) {
  set.WriteList(list);
  WriteFile(set.PathOf("version.doc"), "version 2.0\r\n");
  fs::remove(set.PathOf("empty.txt"));
  EXPECT_EQ(CheckWithListAsWritten().code, ExitCode::kMissing);
  fs::remove(set.PathOf("sources/install2.swm"));
  fs::create_directory(set.PathOf("sources/install2.swm"));
  const CheckResult result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kUnreadable);
  EXPECT_EQ(result.failures.size(), 3u);
}

TEST_F(CheckDriveTest, MalformedLineRejectsTheListBeforeAnyFileIsRead) {
  // The missing file would fail too, but a list that cannot be trusted proves nothing.
  WriteFile(list, Utf16LeFromUtf8(set.ListText() + "xyz sources\\install.swm\r\n" + Md5Hex("") +
                                  " not_on_the_drive.txt\r\n"));
  const CheckResult result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kBadList);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].subject, "DISC1_MD5.txt line 6");
  EXPECT_EQ(result.failures[0].detail,
            "malformed (the digest is not 32 hexadecimal digits): \"xyz sources\\install.swm\"");
}

TEST_F(CheckDriveTest, PathEscapingTheRootIsNeverFollowed) {
  // The file outside the drive exists and matches; following the path would pass.
  WriteFile(folder.path() / "secret.txt", "outside");
  const std::vector<std::string> escapes = {"..\\secret.txt", "sources\\..\\..\\secret.txt",
                                            (folder.path() / "secret.txt").string()};
  for (const std::string& path : escapes) {
    WriteFile(list, set.ListText() + Md5Hex("outside") + " " + path + "\r\n");
    const CheckResult result = CheckWithListAsWritten();
    EXPECT_EQ(result.code, ExitCode::kBadList) << path;
  }
}

TEST_F(CheckDriveTest, EmptyOrUnreadableListIsRejected) {
  for (const std::string& bytes :
       {std::string(), std::string("\xFF\xFE\r\0\n\0", 6), std::string("\n \n")}) {
    WriteFile(list, bytes);
    const CheckResult result = CheckWithListAsWritten();
    EXPECT_EQ(result.code, ExitCode::kBadList);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(FormatFailure(result.failures[0]), "DISC1_MD5.txt: the list names no files");
  }
  fs::remove(list);
  EXPECT_EQ(CheckWithListAsWritten().code, ExitCode::kBadList);
  fs::create_directory(list);
  EXPECT_EQ(CheckWithListAsWritten().code, ExitCode::kBadList);
}

TEST_F(CheckDriveTest, FileListedTwiceIsHeldToEveryDigest) {
  const std::string line = Md5Hex("index") + " media\\1_2.txt\r\n";
  WriteFile(list, Utf16LeFromUtf8(set.ListText() + line + line));
  EXPECT_EQ(CheckWithListAsWritten().code, ExitCode::kAllMatch);

  // Another spelling of the same file, with a digest that cannot both hold.
  WriteFile(list, Utf16LeFromUtf8(set.ListText() + Md5Hex("other") + " MEDIA\\1_2.TXT\r\n"));
  const CheckResult result = CheckWithListAsWritten();
  EXPECT_EQ(result.code, ExitCode::kMismatch);
  EXPECT_EQ(Subjects(result), std::vector<std::string>{"MEDIA\\1_2.TXT"});
}

TEST_F(CheckDriveTest, DigestsAndNamesAreComparedWithoutRegardToCase) {
  std::string text;
  for (const char c : set.ListText())
    text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  WriteFile(list, text);
  EXPECT_EQ(CheckWithListAsWritten().code, ExitCode::kAllMatch);
}

TEST_F(CheckDriveTest, MissingDriveIsNamedAndEveryFileIsMissing) {
  set.WriteList(list);
  const CheckResult result = CheckDrive({list, "DISC1_MD5.txt", folder.path() / "none", "F:", 0});
  EXPECT_EQ(result.code, ExitCode::kMissing);
  ASSERT_EQ(result.failures.size(), 6u);
  EXPECT_EQ(FormatFailure(result.failures[0]), "the drive F: does not exist");
}

}  // namespace
}  // namespace kestrune::sabrel
