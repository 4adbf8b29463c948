#pragma once

#include <string>

namespace kestrune {

/// The carried 7-Zip console program, as it is written into a folder and started there.
inline constexpr wchar_t kSevenZipProgram[] = L"7z.exe";

/// `name` as 7-Zip must be given it to read it as a file name. 7-Zip reads an argument that
/// starts with "-" as a switch and one that starts with "@" as a list file, even inside
/// quotes; such a name is prefixed with the current folder (".\NAME"), which 7-Zip reads as a
/// name. Every other name is returned as it is.
std::wstring SevenZipFileArgument(const std::wstring& name);

/// The parameters that unpack `archive` flat into `folder` with `password`, overwriting
/// everything and answering yes: e "ARCHIVE" -p"PASSWORD" -o"FOLDER" -aoa -y.
std::wstring SevenZipExtractFlat(const std::wstring& archive, const std::wstring& password,
                                 const std::wstring& folder);

/// The parameters that unpack `archive` with its folders into `folder`, overwriting
/// everything: x "ARCHIVE" -o"FOLDER" -aoa -r.
std::wstring SevenZipExtractTree(const std::wstring& archive, const std::wstring& folder);

}  // namespace kestrune
