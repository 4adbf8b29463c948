#pragma once

// Letter case of ASCII only, in narrow and wide text: command-line switches, program and
// device names, registry names. Deliberately blind to every other letter and to the process
// locale, so that a comparison gives the same answer on every machine.

#include <string>
#include <string_view>

namespace kestrune::text {

template <typename Char>
constexpr Char AsciiUpper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <typename Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

namespace detail {
template <typename Char>
constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                       std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}
}  // namespace detail

/// Equal when they differ at most in the case of ASCII letters ("/pass:" and "/PASS:", but
/// not "É" and "é").
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return detail::EqualsIgnoringAsciiCase(a, b);
}
constexpr bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  return detail::EqualsIgnoringAsciiCase(a, b);
}
constexpr bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return detail::EqualsIgnoringAsciiCase(a, b);
}

/// True when `text` begins with `prefix`, ignoring the case of ASCII letters.
template <typename Char>
constexpr bool StartsWithIgnoringAsciiCase(std::basic_string_view<Char> text,
                                           std::basic_string_view<Char> prefix) {
  return text.size() >= prefix.size() &&
         detail::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

inline std::string ToAsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

inline std::string ToAsciiUpper(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

}  // namespace kestrune::text
