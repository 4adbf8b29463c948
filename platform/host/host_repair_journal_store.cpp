#include "platform/host/host_repair_journal_store.h"

#include <dirent.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockName = "journal.lock";
constexpr const char* kJournalSuffix = ".journal";

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name[0] == '.') return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// 24 bits of FNV-1a over the boot's identity, so that a process of an earlier boot with the
// same id and tick count is another process.
uint64_t BootDigest() {
  static const uint64_t digest = [] {
    uint64_t hash = 1469598103934665603ULL;
    for (const char c : ReadSmallFile("/proc/sys/kernel/random/boot_id")) {
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash & 0xffffff;
  }();
  return digest;
}

class FlockLock : public JournalLock {
 public:
  explicit FlockLock(UniqueFd fd) : fd_(std::move(fd)) {}
  ~FlockLock() override { ::flock(fd_.get(), LOCK_UN); }

 private:
  UniqueFd fd_;
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

ProcessIdentity HostProcessIdentity(uint32_t id) {
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(id) + "/stat");
  // "pid (comm) state ppid ... starttime ...": the name may hold anything, so the fields are
  // counted from its closing parenthesis; the state is the 3rd field, the start the 22nd.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(stat.substr(close + 1));
  std::string state;
  fields >> state;
  if (state.empty() || state == "Z" || state == "X") return {};
  std::string field;
  for (int skip = 4; skip < 22 && fields >> field; ++skip) {
  }
  unsigned long long ticks = 0;
  if (!(fields >> ticks)) return {};
  return {id, (BootDigest() << 40) | (ticks & ((1ULL << 40) - 1))};
}

HostRepairJournalStore::HostRepairJournalStore(fs::path folder) : path_(std::move(folder)) {}

int HostRepairJournalStore::Folder(bool create) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (folder_.valid()) return folder_.get();
  if (refused_) return -1;
  if (create && ::mkdir(path_.c_str(), 0700) != 0 && errno == ENOENT) {
    std::error_code error;
    fs::create_directories(path_.parent_path(), error);
    ::mkdir(path_.c_str(), 0700);
  }
  UniqueFd folder(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid() && errno == ENOENT) return -1;  // none yet
  struct stat info {};
  // Only a real folder of this user's that nobody else can change.
  if (!folder.valid() || ::fstat(folder.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    refused_ = true;
    return -1;
  }
  folder_ = std::move(folder);
  return folder_.get();
}

ProcessIdentity HostRepairJournalStore::Self() {
  return HostProcessIdentity(static_cast<uint32_t>(::getpid()));
}

bool HostRepairJournalStore::IsRunning(const ProcessIdentity& process) {
  if (process.id == 0) return false;
  const ProcessIdentity now = HostProcessIdentity(process.id);
  if (now.id != 0) return now.startTime == process.startTime;
  if (Self().id != 0) return false;  // /proc answers, and has no such process
  // Without /proc any process with the id counts.
  return ::kill(static_cast<pid_t>(process.id), 0) == 0 || errno == EPERM;
}

std::unique_ptr<JournalLock> HostRepairJournalStore::Lock() {
  const int folder = Folder(true);
  if (folder < 0) return nullptr;
  UniqueFd lock(::openat(folder, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock.valid()) return nullptr;
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return nullptr;
  }
  return std::make_unique<FlockLock>(std::move(lock));
}

std::vector<std::string> HostRepairJournalStore::List() {
  std::vector<std::string> names;
  const int folder = Folder(false);
  if (folder < 0) return names;
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return names;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (ValidName(name) && EndsWith(name, kJournalSuffix)) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool HostRepairJournalStore::Read(const std::string& name, std::string& contents) {
  const int folder = Folder(false);
  if (folder < 0 || !ValidName(name)) return false;
  UniqueFd file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  contents.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    contents.append(buffer, static_cast<size_t>(got));
  }
}

bool HostRepairJournalStore::Write(const std::string& name, const std::string& contents) {
  const int folder = Folder(true);
  if (folder < 0 || !ValidName(name)) return false;
  const std::string staging = name + ".new-" + std::to_string(::getpid());
  UniqueFd file(::openat(folder, staging.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) return false;
  if (!WriteAll(file.get(), contents) || ::fsync(file.get()) != 0) {
    ::unlinkat(folder, staging.c_str(), 0);
    return false;
  }
  file.reset();
  if (::renameat(folder, staging.c_str(), folder, name.c_str()) != 0) {
    ::unlinkat(folder, staging.c_str(), 0);
    return false;
  }
  return ::fsync(folder) == 0;
}

bool HostRepairJournalStore::Remove(const std::string& name) {
  const int folder = Folder(false);
  if (folder < 0 || !ValidName(name)) return false;
  if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) return false;
  static_cast<void>(::fsync(folder));
  return true;
}

}  // namespace kestrune::platform::host
