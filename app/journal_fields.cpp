#include "app/journal_fields.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "text/utf8.h"

namespace kestrune::journal_fields {

std::string Encode(std::wstring_view text) {
  const std::string utf8 = text::Utf8FromWide(text);
  std::string out;
  for (const unsigned char c : utf8) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '\\' || c == '/' || c == ':') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", c);
      out += hex;
    }
  }
  return out.empty() ? "%" : out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Decode(const std::string& field, std::wstring& text) {
  if (field == "%") {
    text.clear();
    return true;
  }
  std::string utf8;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      utf8 += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    const int high = HexDigit(field[i + 1]), low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0) return false;
    utf8 += static_cast<char>(high * 16 + low);
    i += 2;
  }
  text = text::WideFromUtf8(utf8);
  return true;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; in >> field;) fields.push_back(field);
  return fields;
}

bool ParseNumber(const std::string& text, uint64_t& number) {
  if (text.empty() || text.size() > 20 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  errno = 0;
  number = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}

}  // namespace kestrune::journal_fields
