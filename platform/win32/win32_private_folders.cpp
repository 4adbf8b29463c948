#include "platform/win32/windows_support.h"

#include "platform/win32/win32_private_folders.h"

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <cwchar>
#include <utility>

#include "platform/win32/win32_paths.h"

namespace kestrune::platform::win32 {
namespace {

// Owner Administrators; a protected access list: full control for Administrators and SYSTEM,
// inherited by files (OI) and folders (CI).
constexpr wchar_t kPrivateFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr int kAttempts = 4;

// Memory the shell allocated with CoTaskMemAlloc (SHGetKnownFolderPath).
struct TaskMemoryTraits {
  using Handle = wchar_t*;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle memory) noexcept { return memory != nullptr; }
  static bool Close(Handle memory) noexcept {
    CoTaskMemFree(memory);
    return true;
  }
};

}  // namespace

std::wstring MachineProgramData() {
  windows::ScopedOwner<TaskMemoryTraits> known;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, known.Receive())) &&
      known.valid()) {
    return known.get();
  }
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"PROGRAMDATA", buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(buffer, length);
}

namespace {

// 16 hexadecimal digits of a fresh random GUID (the 64 bits of it that carry no version or
// variant), so that no other user can name the folder before it exists.
std::wstring RandomName() {
  GUID guid{};
  if (FAILED(CoCreateGuid(&guid))) return {};
  wchar_t name[17];
  swprintf(name, 17, L"%08lx%02x%02x%02x%02x", static_cast<unsigned long>(guid.Data1),
           guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5]);
  return name;
}

// A new folder `prefix` + a random name. Empty when a few fresh names all fail.
std::wstring CreateFreshFolder(const std::wstring& prefix, SECURITY_ATTRIBUTES& security) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::wstring name = RandomName();
    if (name.empty()) return {};
    const std::wstring folder = prefix + name;
    if (CreateDirectoryW(folder.c_str(), &security)) return folder;
  }
  return {};
}

}  // namespace

windows::UniqueHandle HoldOwnFolder(const std::wstring& path) {
  const DWORD seen = GetFileAttributesW(path.c_str());
  if (seen == INVALID_FILE_ATTRIBUTES || (seen & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {};
  windows::UniqueHandle folder(CreateFileW(
      path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder || !GetFileInformationByHandle(folder.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return {};
  }
  PSID owner = nullptr;
  windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, descriptor.Receive()) != ERROR_SUCCESS ||
      !IsTrustedOwner(owner)) {
    return {};
  }
  return folder;
}

windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> PrivateFolderSecurity() {
  windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1,
                                                            descriptor.Receive(), nullptr)) {
    descriptor.Reset();
  }
  return descriptor;
}

bool IsTrustedOwner(PSID owner) {
  return owner != nullptr && IsValidSid(owner) &&
         (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
          IsWellKnownSid(owner, WinLocalSystemSid));
}

Win32PrivateFolders::Win32PrivateFolders(std::wstring programData)
    : programData_(std::move(programData)) {}

std::wstring Win32PrivateFolders::CreateRunFolder() {
  std::wstring base = programData_.empty() ? MachineProgramData() : programData_;
  while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
  if (!IsAbsolutePath(base + L'\\')) return {};
  const windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor = PrivateFolderSecurity();
  if (!descriptor) return {};
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};

  const std::wstring programFolder = base + L"\\Kestrune";
  windows::UniqueHandle held;
  const bool own =
      CreateDirectoryW(programFolder.c_str(), &security) ||
      (GetLastError() == ERROR_ALREADY_EXISTS && (held = HoldOwnFolder(programFolder)).valid());
  if (own) {
    std::wstring folder = CreateFreshFolder(programFolder + L"\\", security);
    if (!folder.empty()) return folder;
  }
  held.Reset();
  return CreateFreshFolder(base + L"\\Kestrune-", security);
}

}  // namespace kestrune::platform::win32
