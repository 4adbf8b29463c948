// The run folders below the program data folder, on a Windows API (wine64 in CI). Wine keeps no
// access list on a file: it shows one made from the Linux mode, with the user as the owner.
#include "platform/win32/windows_support.h"

#include "platform/win32/win32_private_folders.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_file_tree.h"
#include "platform/win32/win32_test_links.h"

namespace kestrune::platform::win32 {
namespace {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring SidText(PSID sid) {
  windows::UniqueLocalMemory<wchar_t*> text;
  if (!ConvertSidToStringSidW(sid, text.Receive())) return L"?";
  return text.get();
}

std::wstring WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(sid);
  if (!CreateWellKnownSid(type, nullptr, sid, &size)) return L"?";
  return SidText(sid);
}

struct Grant {
  std::wstring sid;
  BYTE type = 0;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
};

std::vector<Grant> GrantsOf(PACL acl) {
  std::vector<Grant> grants;
  for (DWORD index = 0; acl != nullptr && index < acl->AceCount; ++index) {
    void* ace = nullptr;
    if (!GetAce(acl, index, &ace)) break;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    Grant grant{L"", header->AceType, header->AceFlags, 0};
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      grant.sid = SidText(&allowed->SidStart);
      grant.mask = allowed->Mask;
    }
    grants.push_back(grant);
  }
  return grants;
}

bool IsEmptyFolder(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  windows::UniqueFindHandle search(FindFirstFileW((path + L"\\*").c_str(), &data));
  if (!search) return false;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") return false;
  } while (FindNextFileW(search.get(), &data));
  return true;
}

// Whether `path` is `prefix` followed by the 16 hexadecimal digits of a run folder's name.
bool IsRunFolderIn(const std::wstring& path, const std::wstring& prefix) {
  if (path.size() != prefix.size() + 16 || path.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  return std::all_of(path.begin() + static_cast<std::ptrdiff_t>(prefix.size()), path.end(),
                     [](wchar_t c) { return std::iswxdigit(c) != 0; });
}

TEST(Win32PrivateFolderSecurityTest, OwnedByAdministratorsAndOpenToThemAndTheSystemOnly) {
  const auto descriptor = PrivateFolderSecurity();
  ASSERT_TRUE(descriptor.valid());
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
  EXPECT_EQ(SidText(owner), WellKnownSid(WinBuiltinAdministratorsSid));

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing is inherited from the parent";
  BOOL present = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr) << "a null access list would let everyone in";

  std::set<std::wstring> granted;
  for (const Grant& grant : GrantsOf(dacl)) {
    EXPECT_EQ(grant.type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(grant.mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(grant.flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << "inside, everything "
                                                                          "inherits it";
    granted.insert(grant.sid);
  }
  EXPECT_EQ(granted, (std::set<std::wstring>{WellKnownSid(WinBuiltinAdministratorsSid),
                                             WellKnownSid(WinLocalSystemSid)}));
}

TEST(Win32PrivateFolderSecurityTest, OnlyAdministratorsAndTheSystemAreTrustedOwners) {
  for (const auto type : {WinBuiltinAdministratorsSid, WinLocalSystemSid, WinWorldSid,
                          WinBuiltinUsersSid, WinAuthenticatedUserSid, WinCreatorOwnerSid}) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(type, nullptr, sid, &size));
    EXPECT_EQ(IsTrustedOwner(sid), type == WinBuiltinAdministratorsSid || type == WinLocalSystemSid)
        << SidText(sid);
  }
  windows::UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()));
  BYTE buffer[512];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size));
  EXPECT_FALSE(IsTrustedOwner(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid))
      << "the user who ran the program owns what the user made";
  EXPECT_FALSE(IsTrustedOwner(nullptr));
}

// Run folders in the machine's program data folder.
TEST(Win32PrivateFoldersTest, EachRunGetsAFreshEmptyFolderOfItsOwn) {
  Win32PrivateFolders folders;
  const std::wstring first = folders.CreateRunFolder();
  const std::wstring second = folders.CreateRunFolder();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  Win32FileTree tree;
  for (const std::wstring& folder : {first, second}) {
    EXPECT_EQ(tree.Kind(folder), EntryKind::kFolder) << folder;
    EXPECT_TRUE(IsEmptyFolder(folder)) << folder;
    EXPECT_NE(folder.find(L"\\Kestrune"), std::wstring::npos) << folder;
  }

  // Read back from the file system: no one but the administrators and the system may enter.
  windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  PACL dacl = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(first.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, descriptor.Receive()),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  const std::vector<Grant> grants = GrantsOf(dacl);
  for (const auto outsider : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid,
                              WinInteractiveSid, WinCreatorOwnerSid}) {
    for (const Grant& grant : grants) {
      EXPECT_NE(grant.sid, WellKnownSid(outsider)) << "an outsider may enter " << first;
    }
  }
  for (const std::wstring& folder : {first, second}) RemoveTestFolder(folder);
  if (RunsUnderWine()) {
    GTEST_SKIP() << "wine keeps no access list; it shows one made from the Linux mode";
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  for (const Grant& grant : grants) {
    EXPECT_EQ(grant.type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(grant.flags & INHERITED_ACE, 0) << "inherited from the program data folder";
    EXPECT_TRUE(grant.sid == WellKnownSid(WinBuiltinAdministratorsSid) ||
                grant.sid == WellKnownSid(WinLocalSystemSid))
        << grant.sid;
  }
}

// Run folders in a folder of the test's own that stands for the program data folder.
class Win32PrivateFoldersPlantedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTestFolder(base_);
    ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTestFolder(base_); }

  const std::wstring base_ = TestFolder() + L"\\private_folders";
  const std::wstring own_ = base_ + L"\\Kestrune";
  Win32PrivateFolders folders_{base_ + L"\\"};
};

TEST_F(Win32PrivateFoldersPlantedTest, ProgramFolderIsMadeAndTakenAgainOnlyWhenTrusted) {
  const std::wstring first = folders_.CreateRunFolder();
  EXPECT_TRUE(IsRunFolderIn(first, own_ + L"\\")) << first;

  // What the system says of the folder's owner decides (wine: always the user).
  windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  PSID owner = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(own_.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                  nullptr, nullptr, nullptr, descriptor.Receive()),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::wstring second = folders_.CreateRunFolder();
  EXPECT_TRUE(IsRunFolderIn(second, IsTrustedOwner(owner) ? own_ + L"\\" : own_ + L"-")) << second;
  EXPECT_NE(first, second);
}

TEST_F(Win32PrivateFoldersPlantedTest, PlantedFileLinkOrForeignFolderIsNeverTaken) {
  std::ofstream(std::filesystem::path(own_)) << "planted";
  std::wstring folder = folders_.CreateRunFolder();
  EXPECT_TRUE(IsRunFolderIn(folder, own_ + L"-")) << folder;
  RemoveTestFolder(own_);

  // A folder owned by the user, open to everyone.
  windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> foreign;
  windows::UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()));
  BYTE buffer[512];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size));
  const std::wstring sddl =
      L"O:" + SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) + L"D:(A;OICI;FA;;;WD)";
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   foreign.Receive(), nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), foreign.get(), FALSE};
  ASSERT_TRUE(CreateDirectoryW(own_.c_str(), &attributes));
  folder = folders_.CreateRunFolder();
  EXPECT_TRUE(IsRunFolderIn(folder, own_ + L"-")) << folder;
  EXPECT_TRUE(IsEmptyFolder(own_));
  RemoveTestFolder(own_);

  const std::wstring elsewhere = base_ + L"\\elsewhere";
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  if (MakeFolderLink(own_, elsewhere) == TestLink::kNone) {
    GTEST_SKIP() << "this system can make no link";
  }
  folder = folders_.CreateRunFolder();
  EXPECT_TRUE(IsRunFolderIn(folder, own_ + L"-")) << folder;
  EXPECT_TRUE(IsEmptyFolder(elsewhere)) << "nothing was made through the link";
}

TEST_F(Win32PrivateFoldersPlantedTest, NoFolderWhereNoneCanBeMade) {
  EXPECT_EQ(Win32PrivateFolders(base_ + L"\\absent").CreateRunFolder(), L"");
  EXPECT_EQ(Win32PrivateFolders(L"relative").CreateRunFolder(), L"");
}

}  // namespace
}  // namespace kestrune::platform::win32
