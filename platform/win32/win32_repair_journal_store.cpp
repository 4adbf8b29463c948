#include "platform/win32/windows_support.h"

#include "platform/win32/win32_repair_journal_store.h"

#include <utility>

#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_private_folders.h"

namespace kestrune::platform::win32 {
namespace {

constexpr wchar_t kLockName[] = L"journal.lock";
constexpr char kJournalSuffix[] = ".journal";
constexpr DWORD kLargestJournal = 1 << 20;

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name[0] == '.') return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool IsJournalName(const std::string& name) {
  const std::string suffix = kJournalSuffix;
  return ValidName(name) && name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool CreationTime(HANDLE process, uint64_t& time) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
  time = FileTimeValue(creation);
  return true;
}

class FileLock : public JournalLock {
 public:
  explicit FileLock(windows::UniqueHandle file) : file_(std::move(file)) {}
  ~FileLock() override {
    OVERLAPPED start{};
    UnlockFileEx(file_.get(), 0, 1, 0, &start);
  }

 private:
  windows::UniqueHandle file_;
};

// The wide form of a checked name (letters, digits, '-' and '.').
std::wstring WideName(const std::string& name) { return std::wstring(name.begin(), name.end()); }

}  // namespace

ProcessIdentity Win32ProcessIdentity(uint32_t id) {
  windows::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
  uint64_t created = 0;
  if (!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 ||
      !CreationTime(process.get(), created)) {
    return {};
  }
  return {id, created};
}

Win32RepairJournalStore::Win32RepairJournalStore(std::wstring programData)
    : programData_(std::move(programData)) {}

Win32JournalFolder* Win32RepairJournalStore::Folder(bool create) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (folder_ || refused_) return folder_.get();
  std::wstring base = programData_.empty() ? MachineProgramData() : programData_;
  while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
  if (!IsAbsolutePath(base + L'\\')) {
    refused_ = true;
    return nullptr;
  }
  const std::wstring programFolder = base + L"\\Kestrune";
  const std::wstring journalFolder = programFolder + L"\\journal";
  if (create) {
    const windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor = PrivateFolderSecurity();
    if (!descriptor) return nullptr;
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
    CreateDirectoryW(programFolder.c_str(), &security);
    CreateDirectoryW(journalFolder.c_str(), &security);
  }
  if (GetFileAttributesW(journalFolder.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;  // none yet
  windows::UniqueHandle program = HoldOwnFolder(programFolder);
  windows::UniqueHandle journal = program ? HoldOwnFolder(journalFolder) : windows::UniqueHandle();
  if (!program || !journal) {
    refused_ = true;
    return nullptr;
  }
  heldProgramFolder_ = std::move(program);
  heldJournalFolder_ = std::move(journal);
  folder_ = std::make_unique<Win32JournalFolder>(journalFolder);
  return folder_.get();
}

std::unique_ptr<JournalLock> Win32RepairJournalStore::Lock() {
  Win32JournalFolder* folder = Folder(true);
  return folder == nullptr ? nullptr : folder->Lock();
}

std::vector<std::string> Win32RepairJournalStore::List() {
  Win32JournalFolder* folder = Folder(false);
  return folder == nullptr ? std::vector<std::string>() : folder->List();
}

bool Win32RepairJournalStore::Read(const std::string& name, std::string& contents) {
  Win32JournalFolder* folder = Folder(false);
  return folder != nullptr && folder->Read(name, contents);
}

bool Win32RepairJournalStore::Write(const std::string& name, const std::string& contents) {
  Win32JournalFolder* folder = Folder(true);
  return folder != nullptr && folder->Write(name, contents);
}

bool Win32RepairJournalStore::Remove(const std::string& name) {
  Win32JournalFolder* folder = Folder(false);
  return folder != nullptr && folder->Remove(name);
}

Win32JournalFolder::Win32JournalFolder(std::wstring folder) : folder_(std::move(folder)) {}

std::wstring Win32JournalFolder::PathOf(const std::string& name) const {
  return ValidName(name) ? folder_ + L"\\" + WideName(name) : std::wstring();
}

ProcessIdentity Win32RepairJournalStore::Self() {
  uint64_t created = 0;
  if (!CreationTime(GetCurrentProcess(), created)) created = 0;
  return {GetCurrentProcessId(), created};
}

bool Win32RepairJournalStore::IsRunning(const ProcessIdentity& process) {
  if (process.id == 0) return false;
  windows::UniqueHandle handle(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.id));
  if (!handle) {
    // No process with the id; any other refusal (access denied) may hide a live one.
    return GetLastError() != ERROR_INVALID_PARAMETER;
  }
  if (WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0) return false;  // ended
  uint64_t created = 0;
  return !CreationTime(handle.get(), created) || created == process.startTime;
}

std::unique_ptr<JournalLock> Win32JournalFolder::Lock() {
  const std::wstring& folder = folder_;
  windows::UniqueHandle file(CreateFileW((folder + L"\\" + kLockName).c_str(),
                                         GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
  if (!file) return nullptr;
  OVERLAPPED start{};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &start)) return nullptr;
  return std::make_unique<FileLock>(std::move(file));
}

std::vector<std::string> Win32JournalFolder::List() {
  std::vector<std::string> names;
  const std::wstring& folder = folder_;
  WIN32_FIND_DATAW data{};
  windows::UniqueFindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic,
                                                  &data, FindExSearchNameMatch, nullptr, 0));
  if (!find) return names;
  do {
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    std::string name;
    bool ascii = true;
    for (const wchar_t* c = data.cFileName; *c != L'\0'; ++c) {
      if (*c > 0x7f) ascii = false;
      name += static_cast<char>(*c);
    }
    if (ascii && IsJournalName(name)) names.push_back(name);
  } while (FindNextFileW(find.get(), &data));
  return names;
}

bool Win32JournalFolder::Read(const std::string& name, std::string& contents) {
  const std::wstring path = PathOf(name);
  if (path.empty()) return false;
  windows::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      info.nFileSizeHigh != 0 || info.nFileSizeLow > kLargestJournal) {
    return false;
  }
  contents.assign(info.nFileSizeLow, '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), contents.data(), info.nFileSizeLow, &got, nullptr)) return false;
  contents.resize(got);
  return true;
}

bool Win32JournalFolder::Write(const std::string& name, const std::string& contents) {
  const std::wstring path = PathOf(name);
  if (path.empty() || contents.size() > kLargestJournal) return false;
  const std::wstring staging = path + L".new-" + std::to_wstring(GetCurrentProcessId());
  {
    windows::UniqueHandle file(CreateFileW(staging.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH,
                                           nullptr));
    DWORD written = 0;
    if (!file ||
        !WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written,
                   nullptr) ||
        written != contents.size() || !FlushFileBuffers(file.get())) {
      file.Reset();
      DeleteFileW(staging.c_str());
      return false;
    }
  }
  if (!MoveFileExW(staging.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(staging.c_str());
    return false;
  }
  return true;
}

bool Win32JournalFolder::Remove(const std::string& name) {
  const std::wstring path = PathOf(name);
  if (path.empty()) return false;
  return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace kestrune::platform::win32
