#include "tools/sample_set.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "sim/seven_zip.h"
#include "test_support/test_files.h"

namespace kestrune::tools {
namespace {

namespace fs = std::filesystem;

std::string Md5Of(const fs::path& file) {
  const std::string data = kestrune::testing::ReadFile(file);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i)
    std::snprintf(pair, sizeof pair, "%02x", digest[i]), hex += pair;
  return hex;
}

class SampleSetTest : public ::testing::Test {
 protected:
  void SetUp() override { options.folder = temp.path() / "set"; }
  // The MD5 list of disc 1 as (key, digest) lines, decoded from UTF-16LE.
  std::vector<std::string> ListLines(const fs::path& unpacked) {
    const std::string raw =
        kestrune::testing::ReadFile(unpacked / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt");
    EXPECT_EQ(raw.substr(0, 2), "\xFF\xFE");
    std::string text;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) text += raw[i];
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
      EXPECT_EQ(line.back(), '\r');
      lines.push_back(line.substr(0, line.size() - 1));
    }
    return lines;
  }

  kestrune::testing::TempFolder temp;
  SampleSetOptions options;
  SampleSet set;
  std::string error;
};

TEST_F(SampleSetTest, ImagesUnpackAndTheListNamesEveryFileWithItsDigest) {
  options.installParts = 3;
  options.dataParts = 2;
  ASSERT_TRUE(MakeSampleSet(options, set, error)) << error;
  ASSERT_EQ(set.images.size(), 3u) << "two parts per disc";
  std::set<std::string> listed;
  std::vector<std::string> lines;
  for (size_t disc = 1; disc <= set.images.size(); ++disc) {
    const fs::path unpacked = options.folder / ("unpacked" + std::to_string(disc));
    ASSERT_TRUE(sim::ExtractImage(set.images[disc - 1], unpacked));
    if (disc == 1) lines = ListLines(unpacked);
    for (const auto& entry : fs::recursive_directory_iterator(unpacked)) {
      if (!entry.is_regular_file()) continue;
      std::string key = fs::relative(entry.path(), unpacked).string();
      std::replace(key.begin(), key.end(), '/', '\\');
      if (key == "recovery\\oem\\MD5_OEM_RCV_Partition.txt") continue;
      char medium[16];
      std::snprintf(medium, sizeof medium, "Media%02zu\\", disc);
      listed.insert(Md5Of(entry.path()) + " " + medium + key);
    }
  }
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), listed);
  const auto has = [&](const std::string& tail) {
    return std::any_of(listed.begin(), listed.end(), [&](const std::string& line) {
      return line.size() > tail.size() &&
             line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    });
  };
  EXPECT_TRUE(has(" Media01\\sources\\data.swm"));
  EXPECT_TRUE(has(" Media01\\media\\2_2_data.txt"));
  EXPECT_TRUE(has(" Media02\\sources\\install.swm"));
  EXPECT_TRUE(has(" Media03\\sources\\install3.swm"));
  EXPECT_TRUE(has(" Media03\\media\\3_3_install.txt"));
  EXPECT_TRUE(has(" Media03\\version.doc"));
}

TEST_F(SampleSetTest, OnePartWithoutDataIsAPlainWimWithPlainIndexAndThePackageNeedsItsPassword) {
  options.installParts = 1;
  options.archivePassword = "Sesame-42";
  ASSERT_TRUE(MakeSampleSet(options, set, error)) << error;
  ASSERT_EQ(set.images.size(), 1u);
  std::set<std::string> keys;
  for (const auto& file : set.files) keys.insert(file.path);
  EXPECT_TRUE(keys.count("sources\\install.wim"));
  EXPECT_TRUE(keys.count("media\\1_1.txt"));
  EXPECT_EQ(sim::RunSevenZip({"t", "-pwrong", set.archive.string()}), 2);
  EXPECT_EQ(sim::RunSevenZip({"e", set.archive.string(), "-pSesame-42",
                              "-o" + (options.folder / "out").string(), "-aoa", "-y"}),
            0);
  EXPECT_TRUE(fs::is_regular_file(options.folder / "out" / "readme.txt"));
}

TEST_F(SampleSetTest, TheDiscsAskedForAreMadeOrRefusedWithAReason) {
  options.partBytes = 30 << 10;
  options.discs = 3;
  ASSERT_TRUE(MakeSampleSet(options, set, error)) << error;
  EXPECT_EQ(set.images.size(), 3u) << "the default install parts grow to the discs asked for";

  options.installParts = 2;
  EXPECT_FALSE(MakeSampleSet(options, set, error)) << "three discs from two parts";
  EXPECT_NE(error.find("3 discs"), std::string::npos) << error;

  options.installParts = 10;
  options.discs = 0;
  EXPECT_FALSE(MakeSampleSet(options, set, error));
  options.installParts = 9;
  options.dataParts = 9;
  options.discs = 10;
  EXPECT_FALSE(MakeSampleSet(options, set, error)) << "nine discs at most";
}

}  // namespace
}  // namespace kestrune::tools
