// The owners of the Windows gateway on a Windows API (wine64 in CI).
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>

#include <utility>

namespace kestrune::windows {
namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(WindowsSupportTest, KernelHandleIsClosedOnceAndMovesWithItsOwner) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle first(raw);
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_TRUE(second.valid());
    UniqueHandle third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  // Both failure values of the API own nothing; closing nothing succeeds.
  UniqueHandle failedOpen(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(failedOpen.valid());
  EXPECT_TRUE(failedOpen.Close());
}

TEST(WindowsSupportTest, ReleasedHandleStaysOpenAndResetClosesTheOldOne) {
  HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE replaced = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  UniqueHandle owner(replaced);
  owner.Reset(kept);
  EXPECT_FALSE(IsOpen(replaced));
  EXPECT_EQ(owner.Release(), kept);
  EXPECT_TRUE(IsOpen(kept));
  EXPECT_TRUE(CloseHandle(kept));
}

TEST(WindowsSupportTest, RegistryKeyFilledThroughReceiveIsClosed) {
  UniqueRegistryKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  EXPECT_TRUE(key.valid());
  EXPECT_TRUE(key.Close());
  EXPECT_FALSE(key.valid());
}

TEST(WindowsSupportTest, FindHandleEndsTheSearch) {
  WIN32_FIND_DATAW data;
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  UniqueFindHandle search(FindFirstFileW((std::wstring(system) + L"\\*").c_str(), &data));
  ASSERT_TRUE(search.valid());
  EXPECT_TRUE(search.Close());
  EXPECT_FALSE(FindNextFileW(search.get(), &data));
}

// Counts references as a COM object does.
struct CountedObject {
  ULONG references = 1;
  ULONG Release() { return --references; }
};

TEST(WindowsSupportTest, ComPointerReleasesItsOneReference) {
  CountedObject object;
  object.references = 2;  // the caller's own and the one handed to the owner
  {
    ComPtr<CountedObject> first(&object);
    ComPtr<CountedObject> second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(object.references, 2u);
  }
  EXPECT_EQ(object.references, 1u);

  ComPtr<CountedObject> owner(&object);
  *owner.Receive() = nullptr;  // receiving releases the reference held before
  EXPECT_EQ(object.references, 0u);
}

TEST(WindowsSupportTest, ErrorTextHasNoLineEnd) {
  const std::wstring text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'\n');
  EXPECT_NE(text.back(), L'\r');
  EXPECT_EQ(SystemErrorText(0x2000FFFF), L"error 536936447");
  EXPECT_EQ(NarrowText(L"caf\u00e9", CP_UTF8), "caf\xC3\xA9");
}

}  // namespace
}  // namespace kestrune::windows
