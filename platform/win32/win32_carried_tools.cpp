#include "platform/win32/windows_support.h"

#include "platform/win32/win32_carried_tools.h"

namespace kestrune::platform::win32 {

bool Win32CarriedTools::WriteTool(int resourceId, const std::wstring& targetPath) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(resourceId), L"FILE");
  if (resource == nullptr) return false;
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return false;

  windows::UniqueHandle file(CreateFileW(targetPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
}

}  // namespace kestrune::platform::win32
