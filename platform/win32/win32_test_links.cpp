#include "platform/win32/windows_support.h"

#include "platform/win32/win32_test_links.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32_file_tree.h"

namespace kestrune::platform::win32 {
namespace {

bool ShowsAsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The mount-point form of REPARSE_DATA_BUFFER (the driver kit's header, not the SDK's).
struct MountPointHeader {
  ULONG tag;
  USHORT dataLength;
  USHORT reserved;
  USHORT substituteOffset;
  USHORT substituteLength;
  USHORT printOffset;
  USHORT printLength;
};

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + target;
  const auto substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
  const auto printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
  const USHORT pathBytes = substituteBytes + 2 + printBytes + 2;
  std::vector<char> buffer(sizeof(MountPointHeader) + pathBytes, 0);
  MountPointHeader header{IO_REPARSE_TAG_MOUNT_POINT,
                          static_cast<USHORT>(8 + pathBytes),
                          0,
                          0,
                          substituteBytes,
                          static_cast<USHORT>(substituteBytes + 2),
                          printBytes};
  std::memcpy(buffer.data(), &header, sizeof(header));
  char* paths = buffer.data() + sizeof(header);
  std::memcpy(paths, substitute.data(), substituteBytes);
  std::memcpy(paths + substituteBytes + 2, target.data(), printBytes);
  windows::UniqueHandle folder(
      CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD returned = 0;
  const bool made =
      folder && DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  folder.Reset();
  if (!made) RemoveDirectoryW(link.c_str());
  return made;
}

// The Linux path wine maps `path` to (kernel32's wine_get_unix_file_name); empty elsewhere.
std::wstring LinuxPath(const std::wstring& path) {
  using Function = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<Function>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return {};
  char* name = toUnix(path.c_str());
  if (name == nullptr) return {};
  const std::string bytes = name;
  HeapFree(GetProcessHeap(), 0, name);
  return std::wstring(bytes.begin(), bytes.end());  // the test folders are ASCII
}

// Starts the Linux program `program` (a wine path such as Z:\bin\ln). Wine starts Linux
// programs through CreateProcessW but hands out no process to wait for.
bool StartLinux(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return false;
  }
  const windows::UniqueHandle process(info.hProcess);
  const windows::UniqueHandle thread(info.hThread);
  return true;
}

// Waits up to half a minute for `done` to hold, looking every 10 ms: the only way to know that
// a Linux program started by wine has done its work.
template <typename Condition>
bool WaitUntil(Condition done) {
  for (int look = 0; look < 3000; ++look) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

}  // namespace

bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TestLink MakeFolderLink(const std::wstring& link, const std::wstring& target) {
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged) &&
      ShowsAsLink(link)) {
    return TestLink::kWindows;
  }
  if (MakeJunction(link, target) && ShowsAsLink(link)) return TestLink::kWindows;
  if (!RunsUnderWine()) return TestLink::kNone;
  const std::wstring linuxLink = LinuxPath(link);
  const std::wstring linuxTarget = LinuxPath(target);
  if (linuxLink.empty() || linuxTarget.empty()) return TestLink::kNone;
  if (!StartLinux(L"Z:\\bin\\ln", L"-s \"" + linuxTarget + L"\" \"" + linuxLink + L"\"")) {
    return TestLink::kNone;
  }
  return WaitUntil([&] { return ShowsAsLink(link); }) ? TestLink::kLinux : TestLink::kNone;
}

void RemoveTestFolder(const std::wstring& path) {
  const auto gone = [&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; };
  // An rm started for nothing could still be at work when the test makes the folder anew.
  if (gone()) return;
  const std::wstring linuxPath = RunsUnderWine() ? LinuxPath(path) : std::wstring();
  if (!linuxPath.empty() && StartLinux(L"Z:\\bin\\rm", L"-rf \"" + linuxPath + L"\"") &&
      WaitUntil(gone)) {
    return;
  }
  static_cast<void>(Win32FileTree().RemoveTree(path));
}

}  // namespace kestrune::platform::win32
