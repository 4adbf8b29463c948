#include "app/seven_zip_command.h"

#include "app/work_folder.h"

namespace kestrune {

std::wstring SevenZipFileArgument(const std::wstring& name) {
  if (!name.empty() && (name[0] == L'-' || name[0] == L'@')) return JoinPath(L".", name);
  return name;
}

std::wstring SevenZipExtractFlat(const std::wstring& archive, const std::wstring& password,
                                 const std::wstring& folder) {
  return L"e \"" + SevenZipFileArgument(archive) + L"\" -p\"" + password + L"\" -o\"" + folder +
         L"\" -aoa -y";
}

std::wstring SevenZipExtractTree(const std::wstring& archive, const std::wstring& folder) {
  return L"x \"" + SevenZipFileArgument(archive) + L"\" -o\"" + folder + L"\" -aoa -r";
}

}  // namespace kestrune
