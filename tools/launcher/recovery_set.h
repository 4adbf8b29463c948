#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::launcher {

/// A recovery-set folder as the downloader leaves it: disc images numbered in their names
/// (disc1.iso, disc2.iso, ...), optionally the password-protected package, and the state
/// word of the last run stored beside them.
struct RecoverySet {
  std::filesystem::path folder;
  std::vector<std::filesystem::path> images;  ///< in disc order
  std::filesystem::path package;              ///< empty when the folder has none
};

/// The file beside the images that keeps the state word between runs.
inline constexpr const char* kStateFileName = "kestrixdl.state";

/// Finds the images of `folder`: every regular file ending in ".iso" (any letter case),
/// ordered by the number in its name (disc2 before disc10), then by name. The package is
/// "package.7z" when present.
RecoverySet FindRecoverySet(const std::filesystem::path& folder);

/// The stored state word; 0 when nothing is stored. Nothing when the file exists but does not
/// hold exactly one unsigned decimal number (the caller says so rather than guessing).
std::optional<uint32_t> ReadStateWord(const std::filesystem::path& folder);

/// Stores the state word, replacing the file in one rename so a crash never leaves half a
/// number. False when it cannot be written.
bool WriteStateWord(const std::filesystem::path& folder, uint32_t word);

/// What a state word means to the person at the computer, in one sentence:
/// "discs 1 and 2 of 3 written; insert disc 3 next time", "USB drive written and verified".
std::string DescribeState(uint32_t word, size_t discCount);

/// Reads the wizard's result line: one unsigned decimal number and a line end. Nothing for
/// anything else (the wizard prints nothing when it was never shown).
std::optional<uint32_t> ParseResultLine(const std::string& output);

/// One verification report the wizard left in a set's folder (KestruneReport-*.json).
struct ReportSummary {
  std::filesystem::path text;  ///< the report for a person, beside the JSON
  std::string when;            ///< "2026-12-10 09:30:01 UTC", from the name
  std::string media;           ///< "disc 1/2, disc 2/2" or "USB drive"
  std::string result;          ///< "written" when every medium was, else the first other result
};

/// The reports in `folder`, newest first. A JSON file that does not read as a report is left
/// out.
std::vector<ReportSummary> FindReports(const std::filesystem::path& folder);

}  // namespace kestrune::launcher
