#include "verify/tree_comparer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "app/test_support.h"
#include "platform/host/window_table.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using Messages = std::vector<platform::host::PostedMessage>;
using testing::TempFolder;
using testing::Wide;

// The comparison as a reader of 512-byte blocks would do it: the definition of the results
// and of every progress message.
class BlockModel {
 public:
  BlockModel(uint64_t totalBytes) {
    if (totalBytes != 0) blockCount_ = std::max<uint64_t>(totalBytes >> 9, 1);
  }

  uint32_t CompareFiles(const fs::path& a, const fs::path& b) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    while (true) {
      char x[512] = {}, y[512] = {};
      first.read(x, 512);
      second.read(y, 512);
      if (first.gcount() != second.gcount()) return 1;
      if (std::memcmp(x, y, 512) != 0) return 1;
      Step();
      if (first.gcount() == 0) return 0;
    }
  }
  Messages Finish() {
    messages_.push_back({0x9110, 3, static_cast<intptr_t>(current_)});
    return messages_;
  }

 private:
  void Step() {
    if (blockCount_ == 0) return;
    ++done_;
    current_ = done_ * 1000 / blockCount_;
    if (current_ > lastPosted_ + 1) {
      lastPosted_ = current_;
      messages_.push_back({0x9110, 2, static_cast<intptr_t>(current_)});
    }
  }

  uint64_t blockCount_ = 0, done_ = 0, current_ = 0, lastPosted_ = 0;
  Messages messages_{{0x9110, 1, 0}};
};

class TreeComparerTest : public ::testing::Test {
 protected:
  fs::path Ref(const std::string& relative) { return reference.path() / relative; }
  fs::path Med(const std::string& relative) { return medium.path() / relative; }
  void Both(const std::string& relative, const std::string& contents) {
    reference.WriteFile(relative, contents);
    medium.WriteFile(relative, contents);
  }
  uint32_t Compare(uint64_t totalBytes, size_t chunk = TreeComparer::kChunkBytes) {
    TreeComparer comparer(progress, windows, output, chunk);
    return comparer.CompareTrees(testing::Wide(reference.path()), testing::Wide(medium.path()),
                                 totalBytes);
  }

  TempFolder reference, medium;
  platform::host::WindowTable windows;
  CompareProgress progress{windows.Create()};
  testing::FakeOutput output;
};

TEST_F(TreeComparerTest, LargeBlockReaderPostsExactlyWhatTheBlockModelPosts) {
  const uint64_t MiB = 1 << 20;
  const std::vector<uint64_t> sizes{0,    1,    511,     512, 513,     1024,         4095,
                                    4096, 4097, MiB - 1, MiB, MiB + 1, 3 * MiB + 700};
  struct Change {
    const char* name;
    int64_t lengthDelta;  // medium file longer (+) or shorter (-)
    int64_t flipAt;       // byte flipped in the medium file, from the end if negative; none: 0
  };
  const std::vector<Change> changes{
      {"equal", 0, 0},      {"longer", 1, 0},     {"shorter", -1, 0},     {"first byte", 0, 1},
      {"last byte", 0, -1}, {"byte 513", 0, 514}, {"much longer", 600, 0}};
  std::string data(4 * MiB, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 3);

  for (const uint64_t size : sizes) {
    for (const Change& change : changes) {
      if (change.lengthDelta < 0 && size == 0) continue;
      if (change.flipAt != 0 &&
          (size == 0 || static_cast<uint64_t>(std::abs(change.flipAt)) > size))
        continue;
      std::string mediumData = data.substr(0, size + std::max<int64_t>(change.lengthDelta, 0));
      if (change.lengthDelta < 0) mediumData.resize(size - 1);
      if (change.flipAt != 0) {
        const size_t at = change.flipAt > 0 ? change.flipAt - 1 : size + change.flipAt;
        mediumData[at] = static_cast<char>(mediumData[at] ^ 0x40);
      }
      const auto a = reference.WriteFile("pair/f.bin", data.substr(0, size));
      const auto b = medium.WriteFile("pair/f.bin", mediumData);

      for (const uint64_t total :
           {uint64_t{0}, uint64_t{1}, uint64_t{511}, size / 2, size, 5 * MiB}) {
        for (const size_t chunk : {size_t{4096}, TreeComparer::kChunkBytes}) {
          BlockModel model(total);
          const uint32_t expected = model.CompareFiles(a, b);
          TreeComparer comparer(progress, windows, output, chunk);
          const uint32_t actual =
              comparer.CompareTrees(Wide(a.parent_path()), Wide(b.parent_path()), total);
          const std::string where = std::to_string(size) + " " + change.name + " total " +
                                    std::to_string(total) + " chunk " + std::to_string(chunk);
          ASSERT_EQ(actual, expected) << where;
          ASSERT_EQ(windows.TakeAll(progress.progressWindow), model.Finish()) << where;
        }
      }
    }
  }
}

TEST_F(TreeComparerTest, ProgressPhasesAndIdleState) {
  Both("a.bin", std::string(10 * 512, 'x'));
  ASSERT_EQ(Compare(0), COMPARE_EQUAL);
  EXPECT_EQ(windows.TakeAll(progress.progressWindow), (Messages{{0x9110, 1, 0}, {0x9110, 3, 0}}));

  ASSERT_EQ(Compare(100), COMPARE_EQUAL);  // below one block: the first pass gives 1000
  const Messages messages = windows.TakeAll(progress.progressWindow);
  EXPECT_EQ(messages[1], (platform::host::PostedMessage{0x9110, 2, 1000}));
  EXPECT_EQ(messages.back(), (platform::host::PostedMessage{0x9110, 3, 11000}));
  EXPECT_EQ(progress.enabled, 0u);
  EXPECT_EQ(progress.blockCount, 0u);
  EXPECT_EQ(progress.blocksDone, 0u);
  EXPECT_EQ(progress.current, 0u);
  EXPECT_EQ(progress.lastPosted, 0u);
  EXPECT_NE(progress.progressWindow, nullptr) << "the window stays set";
}

TEST_F(TreeComparerTest, FolderWalkResults) {
  EXPECT_EQ(Compare(0), COMPARE_EQUAL) << "empty reference folder";
  medium.WriteFile("only-on-medium.txt");
  fs::create_directories(Ref("empty-sub"));
  EXPECT_EQ(Compare(0), COMPARE_EQUAL) << "extra medium files and a missing empty folder";

  reference.WriteFile("sources/install.swm", "image");
  EXPECT_EQ(Compare(0), COMPARE_MISSING) << "first file of a missing subfolder";
  medium.WriteFile("sources/install.swm", "image");
  EXPECT_EQ(Compare(0), COMPARE_EQUAL);
  medium.WriteFile("sources/install.swm", "imagE");
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT);

  TreeComparer comparer(progress, windows, output);
  EXPECT_EQ(comparer.CompareFolder(testing::Wide(reference.path()) + L"/not-there",
                                   testing::Wide(medium.path())),
            COMPARE_EQUAL);
}

TEST_F(TreeComparerTest, WalkStopsAtTheFirstDifference) {
  Both("a.txt", "same");
  Both("b.txt", "same");
  // Whichever entry the file system lists first differs; the other must never be looked at.
  std::vector<std::string> order;
  for (const auto& entry : fs::directory_iterator(reference.path())) {
    order.push_back(entry.path().filename().string());
  }
  medium.WriteFile(order[0], "diff");
  fs::remove(Med(order[1]));
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT);
}

// A Unix socket exists but cannot be opened as a file, whatever the permissions.
void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);
}

TEST_F(TreeComparerTest, FileThatCannotBeOpenedIsReportedOnStandardOutput) {
  MakeSocket(Ref("s"));
  medium.WriteFile("s", "data");
  EXPECT_EQ(Compare(0), COMPARE_OPEN_FAILED);
  const std::string prefix = "Couldn't open source file: ";
  ASSERT_EQ(output.written.size(), prefix.size() + 1024);
  EXPECT_EQ(output.written.substr(0, prefix.size()), prefix);
  EXPECT_EQ(output.written.back() == '\n', false);
  EXPECT_NE(output.written.find(Ref("s").string() + ": "), std::string::npos);
  EXPECT_EQ(output.written[prefix.size()], ' ') << "right-aligned in the field";
}

TEST_F(TreeComparerTest, ReadFailureIsNeverEqual) {
  fs::create_directories(medium.path() / "dir");
  fs::create_directory_symlink(medium.path() / "dir", Ref("link"));
  fs::create_directory_symlink(medium.path() / "dir", Med("link"));
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT);
}

TEST_F(TreeComparerTest, MissingProgressWindowLosesOnlyTheMessages) {
  Both("a.bin", std::string(5000, 'a'));
  windows.Destroy(progress.progressWindow);
  EXPECT_EQ(Compare(5000), COMPARE_EQUAL);
  progress.progressWindow = nullptr;
  EXPECT_EQ(Compare(5000), COMPARE_EQUAL);
}

}  // namespace
}  // namespace kestrune
