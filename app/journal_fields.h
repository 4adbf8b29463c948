#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The fields of the line formats kept in the repair journal store: words separated by
/// spaces, every text as percent-encoded UTF-8.
namespace kestrune::journal_fields {

/// Every byte of the UTF-8 but letters, digits and a few safe marks as %XX, so that a field
/// never holds a space, a line end or a byte the parser would trip over; a lone '%' stands
/// for the empty text.
std::string Encode(std::wstring_view text);
/// Reads a field written by Encode; false when it is malformed.
bool Decode(const std::string& field, std::wstring& text);

/// The value of a hexadecimal digit, -1 for any other character.
int HexDigit(char c);
/// A decimal number of up to 20 digits that fits 64 bits.
bool ParseNumber(const std::string& text, uint64_t& number);
/// The line's fields, split at white space.
std::vector<std::string> Fields(const std::string& line);

}  // namespace kestrune::journal_fields
