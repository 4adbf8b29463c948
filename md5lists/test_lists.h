#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/test_files.h"

namespace kestrune::harlune::testing {

/// UTF-16 of UTF-8 source text.
std::u16string U16(std::string_view utf8);

/// `text` as UTF-16LE bytes, without a byte-order mark.
std::string Utf16Le(std::u16string_view text);

/// UTF-8 `lines` joined with CR LF after each, as a UTF-16LE list file with its mark.
std::string ListFile(const std::vector<std::string>& lines);

/// A list as the recovery partition has it: version.doc, two other files, and for each image
/// part its image and index file, every path under "Media1\". `install` parts with data index
/// names when `data` > 0, with plain index names otherwise.
std::vector<std::string> RecoveryList(int install, int data);

/// The lines of an output list file as UTF-8, after checking its form: the mark FF FE and
/// every line ended by CR LF (a test failure otherwise).
std::vector<std::string> DiscLines(const std::string& fileBytes);

using kestrune::testing::ReadFile;
using kestrune::testing::TempFolder;

}  // namespace kestrune::harlune::testing
