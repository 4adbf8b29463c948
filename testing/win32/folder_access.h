#pragma once

// The access list of a folder as the wine tests check it: read back with
// GetNamedSecurityInfoW, one line per entry.

#include <string>

namespace kestrune::testing {

/// "PROTECTED" or "INHERITS" (whether the folder's list takes entries from its parent), then
/// per entry "ALLOW|DENY|OTHER <SID> <mask in hex>" and "INHERITED" when it came from a parent;
/// lines end with "\n". Empty when the list cannot be read; "NO-DACL\n" when the folder has
/// none (everyone has access).
std::string DescribeFolderAccess(const std::wstring& folder);

/// The SID of the account this process runs as ("S-1-5-21-..."); "?" when it cannot be read.
std::string RunningAccountSid();

}  // namespace kestrune::testing
