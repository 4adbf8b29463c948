#include "platform/win32/windows_support.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include "testing/win32/folder_access.h"
#include "text/utf8.h"

namespace kestrune::testing {
namespace {

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "?";
  std::string result = text::Utf8FromWide(text);
  LocalFree(text);
  return result;
}

}  // namespace

std::string DescribeFolderAccess(const std::wstring& folder) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::string lines;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  if (dacl == nullptr) {
    lines = "NO-DACL\n";
  } else {
    lines = (control & SE_DACL_PROTECTED) != 0 ? "PROTECTED\n" : "INHERITS\n";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* entry = nullptr;
      if (!GetAce(dacl, i, &entry)) continue;
      const auto* header = static_cast<const ACE_HEADER*>(entry);
      const char* kind = "OTHER";
      std::string sid = "?";
      DWORD mask = 0;
      if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
        // Both kinds share the layout of ACCESS_ALLOWED_ACE.
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? "ALLOW" : "DENY";
        sid = SidText(&ace->SidStart);
        mask = ace->Mask;
      }
      char line[200];
      std::snprintf(line, sizeof line, "%s %s %08lx%s\n", kind, sid.c_str(),
                    static_cast<unsigned long>(mask),
                    (header->AceFlags & INHERITED_ACE) != 0 ? " INHERITED" : "");
      lines += line;
    }
  }
  LocalFree(descriptor);
  return lines;
}

std::string RunningAccountSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "?";
  alignas(TOKEN_USER) unsigned char buffer[256] = {};
  DWORD size = 0;
  const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
  CloseHandle(token);
  return read ? SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) : "?";
}

}  // namespace kestrune::testing
