#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::harlune {

/// Converts the input list at `listPath` into DISC1_MD5.txt, DISC2_MD5.txt, ... in
/// `outputFolder` (empty: the working folder) and returns the exit code. `listPathText` is
/// the path as the caller gave it, for the error texts.
///
/// Error texts are appended to `errors`; nothing is written to any stream. The failures, in
/// the order they are looked for: the list does not exist (2); it cannot be opened (5); its
/// content does not describe the media (11, before any output list is written); an output
/// list cannot be created or written (5, after the lists of lower numbers are written).
[[nodiscard]] int ConvertMd5List(const std::filesystem::path& listPath,
                                 std::u16string_view listPathText, int partsPerDisc,
                                 std::u16string& errors,
                                 const std::filesystem::path& outputFolder = {});

}  // namespace kestrune::harlune
