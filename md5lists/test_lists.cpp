#include "md5lists/test_lists.h"

#include <gtest/gtest.h>

#include "text/utf8.h"

namespace kestrune::harlune::testing {

using text::InvalidUtf8;
using text::Utf16FromUtf8;
using text::Utf8FromUtf16;

std::u16string U16(std::string_view utf8) { return Utf16FromUtf8(utf8, InvalidUtf8::kReplace); }

std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string ListFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return "\xFF\xFE" + Utf16Le(U16(text));
}

std::vector<std::string> RecoveryList(int install, int data) {
  std::vector<std::string> lines = {"aa00 Media\\1\\version.doc", "aa01 Media\\1\\boot\\bcd",
                                    "aa02 Media\\1\\recovery\\oem\\notes.txt"};
  const auto add = [&](const std::string& kind, int parts, const std::string& suffix) {
    for (int k = 1; k <= parts; ++k) {
      const std::string n = std::to_string(k);
      const std::string image = parts == 1 ? kind + ".wim"
                                : k == 1   ? kind + ".swm"
                                           : kind + n + ".swm";
      lines.push_back("i" + kind.substr(0, 1) + n + " Media\\1\\sources\\" + image);
      lines.push_back("x" + kind.substr(0, 1) + n + " Media\\1\\media\\" + std::to_string(parts) +
                      "_" + n + suffix);
    }
  };
  add("data", data, "_data.txt");
  add("install", install, data > 0 ? "_install.txt" : ".txt");
  return lines;
}

std::vector<std::string> DiscLines(const std::string& fileBytes) {
  std::vector<std::string> lines;
  if (!fileBytes.starts_with("\xFF\xFE") || fileBytes.size() % 2 != 0) {
    ADD_FAILURE() << "not UTF-16LE with its mark";
    return lines;
  }
  std::u16string text;
  for (size_t i = 2; i < fileBytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(fileBytes[i]) |
                                  static_cast<unsigned char>(fileBytes[i + 1]) << 8);
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) {
      ADD_FAILURE() << "last line without CR LF";
      break;
    }
    lines.push_back(Utf8FromUtf16(std::u16string_view(text).substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

}  // namespace kestrune::harlune::testing
