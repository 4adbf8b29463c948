#include "platform/host/host_file_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/unique_fd.h"
#include "platform/native_path.h"

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;

EntryKind KindOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return EntryKind::kNone;
  if (S_ISLNK(info.st_mode)) return EntryKind::kLink;
  if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
  if (S_ISREG(info.st_mode)) return EntryKind::kFile;
  return EntryKind::kNone;
}

// Removes what `path` names without following a link: a link or file is unlinked, a folder
// emptied (its links unlinked, never entered) and removed.
bool Remove(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  // A folder whose owner took away the right to list or change it is given it back.
  if ((info.st_mode & S_IRWXU) != S_IRWXU) ::chmod(path.c_str(), info.st_mode | S_IRWXU);
  std::error_code error;
  bool ok = true;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    entries.push_back(it->path());
  }
  if (error) ok = false;
  for (const fs::path& entry : entries) ok = Remove(entry) && ok;
  return ::rmdir(path.c_str()) == 0 && ok;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
  if (!first || !second) return false;
  return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

}  // namespace

EntryKind HostFileTree::Kind(const std::wstring& path) { return KindOf(ToNativePath(path)); }

bool HostFileTree::RemoveTree(const std::wstring& path) {
  if (path.empty()) return false;
  return Remove(ToNativePath(path));
}

bool HostFileTree::CreateFolder(const std::wstring& path) {
  return !path.empty() && ::mkdir(ToNativePath(path).c_str(), 0700) == 0;
}

bool HostFileTree::CopyNewFile(const std::wstring& from, const std::wstring& to) {
  const fs::path source = ToNativePath(from), target = ToNativePath(to);
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (!in.valid() || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.valid()) return false;
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < got;) {
      const ssize_t put = ::write(out.get(), buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      ok = put > 0;
      if (ok) done += put;
    }
    if (!ok) break;
  }
  ok = ::close(out.release()) == 0 && ok && SameBytes(source, target);
  if (!ok) ::unlink(target.c_str());
  return ok;
}

bool HostFileTree::WriteNewFile(const std::wstring& path, std::string_view bytes) {
  const fs::path target = ToNativePath(path);
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.valid()) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t put = ::write(out.get(), bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    ok = put > 0;
    if (ok) done += static_cast<size_t>(put);
  }
  ok = ::close(out.release()) == 0 && ok;
  if (!ok) ::unlink(target.c_str());
  return ok;
}

std::wstring HostPrivateFolders::CreateRunFolder() {
  if (root_.empty()) return {};
  std::error_code error;
  if (KindOf(root_) == EntryKind::kNone) {
    fs::create_directories(root_.parent_path(), error);
    ::mkdir(root_.c_str(), 0700);
  }
  // Only a real folder of this user's that nobody else can change.
  struct stat info {};
  if (::lstat(root_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return {};
  }
  std::string name = (root_ / "run-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) return {};
  return FromNativePath(fs::path(name));
}

}  // namespace kestrune::platform::host
