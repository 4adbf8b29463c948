#include "platform/win32/windows_support.h"

#include <string>

#include "platform/read_only_file.h"
#include "platform/win32/win32_paths.h"

namespace kestrune::platform {
namespace {

// The extended-length form of a path, so that deep files open; a relative name, which only a
// user gives (a list named on the command line), is left for the system to resolve.
std::wstring ReadablePath(const std::wstring& path) {
  std::wstring longPath = win32::ExtendedLengthPath(path);
  return longPath.empty() ? path : longPath;
}

// ERROR_STOPPED_ON_SYMLINK, which the mingw-w64 headers do not declare: "the create operation
// stopped after reaching a symbolic link".
constexpr DWORD kErrorStoppedOnSymlink = 681;

// A link is a reparse point that stands for another name (symbolic link, junction). Other
// reparse points (compressed or cloud-held files, deduplicated data) are read as the file
// they are.
bool IsLink(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(reparseTag);
}

PathKind KindOf(DWORD attributes, DWORD reparseTag) {
  if (IsLink(attributes, reparseTag)) return PathKind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kOther;
}

// `longPath` (extended-length) looked at without following it.
PathKind KindOfLongPath(const std::wstring& longPath) {
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                          : PathKind::kUnreadable;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return KindOf(attributes, 0);
  // Only the search data carries the reparse tag.
  WIN32_FIND_DATAW data{};
  windows::UniqueFindHandle find(FindFirstFileExW(longPath.c_str(), FindExInfoBasic, &data,
                                                  FindExSearchNameMatch, nullptr, 0));
  if (!find.valid()) return PathKind::kUnreadable;
  return KindOf(attributes, data.dwReserved0);
}

class Win32FolderReader : public FolderReader {
 public:
  PathKind Kind(const std::wstring& path) override {
    return KindOfLongPath(ReadablePath(path));
  }

  FolderListing List(const std::wstring& folder, std::vector<FolderEntry>& entries) override {
    const std::wstring longPath = ReadablePath(folder);
    switch (KindOfLongPath(longPath)) {
      case PathKind::kFolder:
        break;
      case PathKind::kMissing:
        return FolderListing::kMissing;
      default:
        return FolderListing::kFailed;
    }
    const std::wstring pattern = longPath + (longPath.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW data{};
    windows::UniqueFindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                                    FindExSearchNameMatch, nullptr,
                                                    FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) {
      const DWORD error = GetLastError();
      // The root of an empty volume has no entry at all, not even "." and "..".
      if (error == ERROR_FILE_NOT_FOUND) return FolderListing::kComplete;
      return error == ERROR_PATH_NOT_FOUND ? FolderListing::kMissing : FolderListing::kFailed;
    }
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      entries.push_back({name, KindOf(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES ? FolderListing::kComplete
                                                 : FolderListing::kFailed;
  }
};

windows::UniqueHandle OpenForReading(const std::wstring& longPath, DWORD extraFlags) {
  return windows::UniqueHandle(
      CreateFileW(longPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | extraFlags, nullptr));
}

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path,
                                               std::string& errorDescription) {
  const std::wstring longPath = ReadablePath(path);
  // Opened as itself first, so that a link is seen and not followed.
  windows::UniqueHandle file = OpenForReading(longPath, FILE_FLAG_OPEN_REPARSE_POINT);
  DWORD error = file.valid() ? ERROR_SUCCESS : GetLastError();
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (file.valid() &&
      !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof(info))) {
    error = GetLastError();
  } else if (file.valid() && (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (IsLink(info.FileAttributes, info.ReparseTag)) {
      error = kErrorStoppedOnSymlink;
    } else {
      // Any other reparse point is read through the driver that owns it.
      file = OpenForReading(longPath, 0);
      if (!file.valid()) error = GetLastError();
    }
  }
  if (error != ERROR_SUCCESS) {
    errorDescription = windows::NarrowText(path + L": " + windows::SystemErrorText(error), CP_ACP);
    return std::nullopt;
  }
  return ReadOnlyFile(reinterpret_cast<intptr_t>(file.Release()));
}

void ReadOnlyFile::Close() {
  // The handle was taken from an owner in Open; this object is its owner now.
  windows::UniqueHandle owner(reinterpret_cast<HANDLE>(std::exchange(handle_, kNone)));
}

int64_t ReadOnlyFile::ReadFull(void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD request = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done);
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), bytes + done, request, &got, nullptr))
      return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

FolderReader& FileSystemFolders() {
  static Win32FolderReader reader;
  return reader;
}

}  // namespace kestrune::platform
