#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune {

/// A NUL-terminated text field of fixed capacity (the terminator included), as the run
/// context stores its texts. Values that do not fit are never written past the end: the
/// caller chooses between refusing them (Assign) and shortening them (AssignTruncated).
template <size_t Capacity>
class FixedText {
  static_assert(Capacity > 1);

 public:
  static constexpr size_t kMaxLength = Capacity - 1;

  /// Stores `text` when it fits (and holds no NUL); otherwise leaves the field unchanged and
  /// returns false.
  bool Assign(std::wstring_view text) {
    if (text.size() > kMaxLength || text.find(L'\0') != std::wstring_view::npos) return false;
    Store(text);
    return true;
  }

  /// Stores as much of `text` as fits, up to its first NUL. Never ends on the first half of a
  /// UTF-16 surrogate pair, so the stored text stays well formed.
  void AssignTruncated(std::wstring_view text) {
    text = text.substr(0, std::min(text.find(L'\0'), text.size()));
    if (text.size() > kMaxLength) {
      size_t keep = kMaxLength;
      if (IsHighSurrogate(text[keep - 1])) --keep;
      text = text.substr(0, keep);
    }
    Store(text);
  }

  void Clear() { Store({}); }

  std::wstring_view view() const { return std::wstring_view(text_, length_); }
  std::wstring str() const { return std::wstring(view()); }
  const wchar_t* c_str() const { return text_; }
  bool empty() const { return length_ == 0; }
  size_t size() const { return length_; }

 private:
  static bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

  void Store(std::wstring_view text) {
    std::copy(text.begin(), text.end(), text_);
    text_[text.size()] = L'\0';
    length_ = text.size();
  }

  wchar_t text_[Capacity] = {};
  size_t length_ = 0;
};

}  // namespace kestrune
