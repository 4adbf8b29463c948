#include "verify/tree_comparer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/test_support.h"
#include "platform/host/window_table.h"
#include "platform/native_path.h"

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
  uint32_t Compare(uint64_t totalBytes, size_t chunk = TreeComparer::kChunkBytes,
                   platform::FolderReader& folders = platform::FileSystemFolders()) {
    TreeComparer comparer(progress, windows, output, chunk, folders);
    const uint32_t result = comparer.CompareTrees(testing::Wide(reference.path()),
                                                  testing::Wide(medium.path()), totalBytes);
    filesCompared = comparer.FilesCompared();
    return result;
  }

  TempFolder reference, medium;
  platform::host::WindowTable windows;
  CompareProgress progress{windows.Create()};
  testing::FakeOutput output;
  uint64_t filesCompared = 0;
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
  EXPECT_EQ(Compare(0), COMPARE_MISSING) << "an empty folder missing on the medium";
  fs::create_directories(Med("empty-sub"));
  EXPECT_EQ(Compare(0), COMPARE_EQUAL) << "extra medium files";

  reference.WriteFile("sources/install.swm", "image");
  EXPECT_EQ(Compare(0), COMPARE_MISSING) << "a missing subfolder";
  medium.WriteFile("sources/install.swm", "image");
  EXPECT_EQ(Compare(0), COMPARE_EQUAL);
  medium.WriteFile("sources/install.swm", "imagE");
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT);

  TreeComparer comparer(progress, windows, output);
  EXPECT_EQ(comparer.CompareFolder(testing::Wide(reference.path()) + L"/not-there",
                                   testing::Wide(medium.path())),
            COMPARE_MISSING);
  EXPECT_EQ(comparer.CompareFolder(testing::Wide(reference.path()),
                                   testing::Wide(medium.path()) + L"/not-there"),
            COMPARE_MISSING);
}

TEST_F(TreeComparerTest, MediumCounterpartOfAFolderMustBeAFolder) {
  Both("sources/boot/bcd", "store");
  ASSERT_EQ(Compare(0), COMPARE_EQUAL);

  fs::remove_all(Med("sources/boot"));
  medium.WriteFile("sources/boot", "a file in the folder's place");
  EXPECT_EQ(Compare(0), COMPARE_MISSING);

  // A link in the folder's place is not followed, even to a folder holding the right files.
  fs::remove(Med("sources/boot"));
  medium.WriteFile("elsewhere/bcd", "store");
  fs::create_directory_symlink(Med("elsewhere"), Med("sources/boot"));
  EXPECT_EQ(Compare(0), COMPARE_MISSING);
}

TEST_F(TreeComparerTest, LinksAreNeverComparedThrough) {
  // A link in the reference tree, to a file with the very bytes the medium holds.
  const TempFolder elsewhere;
  fs::create_symlink(elsewhere.WriteFile("outside.bin", "same"), Ref("a.bin"));
  medium.WriteFile("a.bin", "same");
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT) << "a link in the reference tree";

  // A link on the medium in the place of a written file, pointing at the reference itself.
  fs::remove(Ref("a.bin"));
  reference.WriteFile("a.bin", "same");
  fs::remove(Med("a.bin"));
  fs::create_symlink(Ref("a.bin"), Med("a.bin"));
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT) << "a link on the medium";
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

// Root may read and search any folder, whatever its mode. The capabilities that allow it are
// dropped for the calling thread only (capset changes one thread's set), so a folder of mode
// 000 really fails to open there while the rest of the test process keeps them.
bool DropPermissionOverrideForThisThread() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    data[capability / 32].effective &= ~(1u << (capability % 32));
  }
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Sets a folder's mode for the test and gives it back its access at the end, so that the
// temporary folders can be removed.
class FolderMode {
 public:
  FolderMode(fs::path folder, mode_t mode) : folder_(std::move(folder)) {
    EXPECT_EQ(::chmod(folder_.c_str(), mode), 0);
  }
  ~FolderMode() { ::chmod(folder_.c_str(), 0700); }
  FolderMode(const FolderMode&) = delete;
  FolderMode& operator=(const FolderMode&) = delete;

 private:
  fs::path folder_;
};

TEST_F(TreeComparerTest, FolderThatCannotBeListedFailsOnEitherSide) {
  Both("sources/install.swm", "image");
  Both("sources/lang/strings.txt", "text");
  // The comparison runs as an ordinary user would: in a thread without root's override.
  const auto compareWithoutOverride = [&](const fs::path& locked) {
    uint32_t result = 0xFFFF;
    std::thread thread([&] {
      ASSERT_TRUE(DropPermissionOverrideForThisThread());
      std::vector<platform::FolderEntry> entries;
      ASSERT_NE(platform::FileSystemFolders().List(Wide(locked), entries),
                platform::FolderListing::kComplete)
          << "the folder must really fail to list in this thread";
      result = Compare(0);
    });
    thread.join();
    return result;
  };
  {
    const FolderMode mode(Ref("sources/lang"), 0);
    EXPECT_EQ(compareWithoutOverride(Ref("sources/lang")), COMPARE_OPEN_FAILED)
        << "a reference folder of mode 000";
  }
  {
    // Search without read: every file opens by its name, but the folder does not list.
    const FolderMode mode(Med("sources"), 0100);
    EXPECT_EQ(compareWithoutOverride(Med("sources")), COMPARE_OPEN_FAILED)
        << "a medium folder that cannot be listed";
  }
  EXPECT_EQ(Compare(0), COMPARE_EQUAL);
}

// Delegates to the file system, except that the listing of `breaking` yields its first
// `entriesBefore` entries and then fails.
class BreakingFolders : public platform::FolderReader {
 public:
  platform::PathKind Kind(const std::wstring& path) override {
    return platform::FileSystemFolders().Kind(path);
  }
  platform::FolderListing List(const std::wstring& folder,
                               std::vector<platform::FolderEntry>& entries) override {
    std::vector<platform::FolderEntry> all;
    const platform::FolderListing listing = platform::FileSystemFolders().List(folder, all);
    if (fs::path(platform::ToNativePath(folder)) != breaking) {
      entries.insert(entries.end(), all.begin(), all.end());
      return listing;
    }
    all.resize(std::min(all.size(), entriesBefore));
    entries.insert(entries.end(), all.begin(), all.end());
    return platform::FolderListing::kFailed;
  }

  fs::path breaking;
  size_t entriesBefore = 1;
};

TEST_F(TreeComparerTest, ListingThatBreaksOffPartWayIsAMismatch) {
  Both("sources/a.bin", "same");
  Both("sources/b.bin", "same");
  BreakingFolders folders;
  ASSERT_EQ(Compare(0, TreeComparer::kChunkBytes, folders), COMPARE_EQUAL);
  EXPECT_EQ(filesCompared, 2u);

  for (const fs::path& folder : {Ref("sources"), Med("sources"), reference.path()}) {
    folders.breaking = folder;
    for (const size_t entriesBefore : {size_t{0}, size_t{1}}) {
      folders.entriesBefore = entriesBefore;
      EXPECT_EQ(Compare(0, TreeComparer::kChunkBytes, folders), COMPARE_OPEN_FAILED)
          << folder << " after " << entriesBefore;
    }
  }
}

// Makes below `top` a chain of folders whose full path is longer than `length` bytes, with
// the file f.bin holding `bytes` at the bottom, and returns the bottom folder's path. Each
// level is made relative to the one above, so that no call needs the whole path.
fs::path MakeDeepChain(const fs::path& top, size_t length, const std::string& bytes) {
  const std::string name(200, 'd');
  fs::path bottom = top;
  int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (; bottom.native().size() <= length; bottom /= name) {
    EXPECT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  const int file = ::openat(fd, "f.bin", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_EQ(::write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(file);
  ::close(fd);
  return bottom;
}

TEST_F(TreeComparerTest, DeepTreesAreComparedToTheBottom) {
  // Deeper than the 260 characters of Windows' old limit.
  MakeDeepChain(reference.path(), 300, std::string(1000, 'r'));
  const fs::path bottom = MakeDeepChain(medium.path(), 300, std::string(1000, 'r'));
  EXPECT_EQ(Compare(0), COMPARE_EQUAL);
  EXPECT_EQ(filesCompared, 1u) << "the file at the bottom was compared";
  testing::WriteFile(bottom / "f.bin", std::string(999, 'r') + "x");
  EXPECT_EQ(Compare(0), COMPARE_DIFFERENT);

  // Deeper than any path the system opens: the bottom folders cannot be listed by path.
  for (const TempFolder* tree : {&reference, &medium}) {
    fs::remove_all(tree->path() / std::string(200, 'd'));
    MakeDeepChain(tree->path(), PATH_MAX, "same");
  }
  EXPECT_EQ(Compare(0), COMPARE_OPEN_FAILED) << "a tree the system cannot reach is no match";
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
