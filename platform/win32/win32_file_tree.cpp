#include "platform/win32/windows_support.h"

#include "platform/win32/win32_file_tree.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/win32/win32_paths.h"

namespace kestrune::platform::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes FILE_BASIC_INFO may set.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsRealFolder(DWORD attributes) { return IsFolder(attributes) && !IsLink(attributes); }

// Opens the entry `path` itself: a link is opened as the link, never as what it points to.
windows::UniqueHandle OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
  return windows::UniqueHandle(
      CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Clears the read-only attribute of the entry itself, without following a link.
void ClearReadOnly(const std::wstring& path) {
  const windows::UniqueHandle entry =
      OpenEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll);
  FILE_BASIC_INFO info{};
  if (!entry || !GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &info, sizeof(info))) {
    return;
  }
  info.FileAttributes &= kSettableAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(entry.get(), FileBasicInfo, &info, sizeof(info));
}

// Removes a file or a link as itself. A link to a folder (a junction, a directory symbolic
// link) is a folder entry of its own and goes with RemoveDirectoryW, the rest with DeleteFileW.
bool RemoveEntry(const std::wstring& path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) ClearReadOnly(path);
  if (IsFolder(attributes)) return RemoveDirectoryW(path.c_str()) != FALSE;
  return DeleteFileW(path.c_str()) != FALSE;
}

struct Entry {
  std::wstring name;
  DWORD attributes = 0;
};

// The entries of the folder `path`, "." and ".." left out. False when they cannot be read.
bool ListEntries(const std::wstring& path, std::vector<Entry>& entries) {
  WIN32_FIND_DATAW data;
  windows::UniqueFindHandle search(FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &data,
                                                    FindExSearchNameMatch, nullptr,
                                                    FIND_FIRST_EX_LARGE_FETCH));
  if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") entries.push_back({name, data.dwFileAttributes});
  } while (FindNextFileW(search.get(), &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

// A folder of the tree being removed: held open from the check that it is a real folder until
// it is empty, with the entries still to remove.
struct HeldFolder {
  std::wstring path;
  windows::UniqueHandle hold;
  DWORD attributes = 0;
  std::vector<Entry> entries;
  size_t next = 0;
};

// Opens the folder `path` and lists it onto `stack`. When the entry turns out to be a link or a
// file after all (it was replaced since it was listed), removes it as that instead.
void Enter(const std::wstring& path, std::vector<HeldFolder>& stack) {
  // Without FILE_SHARE_WRITE or FILE_SHARE_DELETE nobody can rename, delete or rewrite the
  // folder while it is held.
  windows::UniqueHandle hold =
      OpenEntry(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!hold || !GetFileInformationByHandle(hold.get(), &info)) return;
  if (!IsRealFolder(info.dwFileAttributes)) {
    hold.Reset();
    RemoveEntry(path, info.dwFileAttributes);
    return;
  }
  HeldFolder folder{path, std::move(hold), info.dwFileAttributes, {}, 0};
  if (!ListEntries(path, folder.entries)) return;
  stack.push_back(std::move(folder));
}

// Removes the real folder `top` and everything below it, depth first without recursion (a
// path of 32767 characters may be thousands of folders deep).
void RemoveFolderTree(const std::wstring& top) {
  std::vector<HeldFolder> stack;
  Enter(top, stack);
  while (!stack.empty()) {
    HeldFolder& folder = stack.back();
    if (folder.next < folder.entries.size()) {
      const Entry& entry = folder.entries[folder.next++];
      const std::wstring path = folder.path + L'\\' + entry.name;
      if (IsRealFolder(entry.attributes)) {
        Enter(path, stack);  // may invalidate `folder`
      } else {
        RemoveEntry(path, entry.attributes);
      }
      continue;
    }
    const std::wstring path = std::move(folder.path);
    const DWORD attributes = folder.attributes;
    stack.pop_back();  // closes the hold
    RemoveEntry(path, attributes);
  }
}

bool NothingAt(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Reads until `buffer` is full or the file ends; the number of bytes read, or -1.
int64_t ReadFully(HANDLE file, std::vector<char>& buffer) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data() + filled, static_cast<DWORD>(buffer.size() - filled), &read,
                  nullptr)) {
      return -1;
    }
    if (read == 0) break;
    filled += read;
  }
  return static_cast<int64_t>(filled);
}

bool WriteFully(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool Rewind(HANDLE file) { return SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN); }

constexpr size_t kChunk = 256 * 1024;

bool CopyContents(HANDLE source, HANDLE target) {
  std::vector<char> buffer(kChunk);
  for (;;) {
    const int64_t read = ReadFully(source, buffer);
    if (read < 0) return false;
    if (read == 0) return true;
    if (!WriteFully(target, buffer.data(), static_cast<size_t>(read))) return false;
  }
}

// Reads both files from their start and compares them.
bool SameContents(HANDLE first, HANDLE second) {
  if (!Rewind(first) || !Rewind(second)) return false;
  std::vector<char> a(kChunk), b(kChunk);
  for (;;) {
    const int64_t readA = ReadFully(first, a);
    const int64_t readB = ReadFully(second, b);
    if (readA < 0 || readA != readB) return false;
    if (readA == 0) return true;
    if (!std::equal(a.begin(), a.begin() + readA, b.begin())) return false;
  }
}

// Deletes the file behind `file`, which this program created: through the handle, so that
// nothing put at its path in the meantime is touched.
void DiscardCreated(windows::UniqueHandle& file, const std::wstring& path) {
  FILE_DISPOSITION_INFO dispose{TRUE};
  const bool marked =
      SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof(dispose));
  file.Reset();
  if (!marked) DeleteFileW(path.c_str());
}

}  // namespace

EntryKind Win32FileTree::Kind(const std::wstring& path) {
  const std::wstring longPath = ExtendedLengthPath(path);
  if (longPath.empty()) return EntryKind::kNone;
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kNone;
  if (IsLink(attributes)) return EntryKind::kLink;
  return IsFolder(attributes) ? EntryKind::kFolder : EntryKind::kFile;
}

bool Win32FileTree::RemoveTree(const std::wstring& path) {
  const std::wstring longPath = ExtendedLengthPath(path);
  if (longPath.empty()) return false;
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return NothingAt(longPath);
  if (IsRealFolder(attributes)) {
    RemoveFolderTree(longPath);
  } else {
    RemoveEntry(longPath, attributes);
  }
  return NothingAt(longPath);
}

bool Win32FileTree::CreateFolder(const std::wstring& path) {
  const std::wstring longPath = ExtendedLengthPath(path);
  return !longPath.empty() && CreateDirectoryW(longPath.c_str(), nullptr) != FALSE;
}

bool Win32FileTree::CopyNewFile(const std::wstring& from, const std::wstring& to) {
  const std::wstring source = ExtendedLengthPath(from);
  const std::wstring target = ExtendedLengthPath(to);
  if (source.empty() || target.empty() || Kind(source) != EntryKind::kFile) return false;
  // The source is held without sharing write access, so it cannot change between the copy and
  // the comparison; its attributes are checked again on the handle that is read.
  windows::UniqueHandle in(
      CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!in || !GetFileInformationByHandle(in.get(), &info) || IsLink(info.dwFileAttributes) ||
      IsFolder(info.dwFileAttributes)) {
    return false;
  }
  windows::UniqueHandle out(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  if (!CopyContents(in.get(), out.get()) || !FlushFileBuffers(out.get()) ||
      !SameContents(in.get(), out.get())) {
    DiscardCreated(out, target);
    return false;
  }
  if (!out.Close()) {
    DeleteFileW(target.c_str());
    return false;
  }
  return true;
}

bool Win32FileTree::WriteNewFile(const std::wstring& path, std::string_view bytes) {
  const std::wstring target = ExtendedLengthPath(path);
  if (target.empty()) return false;
  // CREATE_NEW fails on anything at the path, a link included, and never follows it.
  windows::UniqueHandle out(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD put = 0;
    ok = WriteFile(out.get(), bytes.data() + done, chunk, &put, nullptr) != 0 && put > 0;
    done += put;
  }
  if (!ok || !FlushFileBuffers(out.get())) {
    DiscardCreated(out, target);
    return false;
  }
  if (!out.Close()) {
    DeleteFileW(target.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrune::platform::win32
