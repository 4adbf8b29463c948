#include "platform/win32/windows_support.h"

#include "ui/win32/win32_resources.h"

namespace kestrune::ui::win32 {
namespace {

const void* FindData(HINSTANCE module, const wchar_t* type, uint32_t id, LANGID language,
                     DWORD* size = nullptr) {
  HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return nullptr;
  if (size != nullptr) *size = SizeofResource(module, found);
  return LockResource(loaded);
}

/// Reads the template's words in order, with the alignment rules of DLGTEMPLATEEX.
class TemplateReader {
 public:
  explicit TemplateReader(const void* data) : base_(static_cast<const BYTE*>(data)), at_(base_) {}

  WORD Word() {
    WORD value;
    memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  DWORD Dword() {
    DWORD value;
    memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  /// A name or an ordinal: 0 none, 0xFFFF followed by the ordinal, else a string.
  std::wstring NameOrOrdinal() {
    const WORD first = Word();
    if (first == 0) return {};
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring text(1, static_cast<wchar_t>(first));
    for (WORD c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  std::wstring String() {
    std::wstring text;
    for (WORD c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  void AlignDword() {
    const auto offset = static_cast<size_t>(at_ - base_);
    at_ = base_ + ((offset + 3) & ~static_cast<size_t>(3));
  }
  void Skip(size_t bytes) { at_ += bytes; }

 private:
  const BYTE* base_;
  const BYTE* at_;
};

/// The predefined classes a template names by ordinal.
std::wstring ClassOfOrdinal(const std::wstring& name) {
  if (name == L"#128") return L"Button";
  if (name == L"#129") return L"Edit";
  if (name == L"#130") return L"Static";
  if (name == L"#131") return L"ListBox";
  if (name == L"#132") return L"ScrollBar";
  if (name == L"#133") return L"ComboBox";
  return name;
}

}  // namespace

LANGID LanguageId(Language language) {
  return language == Language::kJapanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                         : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

const DLGTEMPLATE* WizardResources::DialogTemplate(uint32_t id) const {
  return static_cast<const DLGTEMPLATE*>(
      FindData(module_, reinterpret_cast<const wchar_t*>(RT_DIALOG), id, language_));
}

std::wstring WizardResources::String(uint32_t id) const {
  // Strings live in blocks of 16: block id / 16 + 1, each entry a length and its characters.
  DWORD size = 0;
  const auto* block = static_cast<const WORD*>(FindData(
      module_, reinterpret_cast<const wchar_t*>(RT_STRING), id / 16 + 1, language_, &size));
  if (block == nullptr) return {};
  const WORD* end = block + size / sizeof(WORD);
  for (uint32_t index = 0; index < 16 && block < end; ++index) {
    const WORD length = *block++;
    if (index == id % 16) {
      if (block + length > end) return {};
      return std::wstring(reinterpret_cast<const wchar_t*>(block), length);
    }
    block += length;
  }
  return {};
}

HICON WizardResources::Icon(uint32_t id, int size) const {
  return static_cast<HICON>(
      LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

bool ReadCompiledTemplate(const void* data, CompiledTemplate& out) {
  if (data == nullptr) return false;
  TemplateReader reader(data);
  if (reader.Word() != 1 || reader.Word() != 0xFFFF) return false;  // dlgVer, signature
  reader.Dword();                                                   // helpID
  reader.Dword();                                                   // exStyle
  out.style = reader.Dword();
  const WORD count = reader.Word();
  reader.Short();  // x
  reader.Short();  // y
  out.width = reader.Short();
  out.height = reader.Short();
  reader.NameOrOrdinal();  // menu
  reader.NameOrOrdinal();  // class
  out.caption = reader.String();
  if ((out.style & DS_SETFONT) != 0) {
    out.fontPoints = reader.Word();
    reader.Word();   // weight
    reader.Skip(2);  // italic, charset
    out.fontName = reader.String();
  }
  out.controls.clear();
  for (WORD i = 0; i < count; ++i) {
    reader.AlignDword();
    CompiledControl control;
    reader.Dword();  // helpID
    reader.Dword();  // exStyle
    control.style = reader.Dword();
    control.x = reader.Short();
    control.y = reader.Short();
    control.width = reader.Short();
    control.height = reader.Short();
    control.id = reader.Dword();
    control.windowClass = ClassOfOrdinal(reader.NameOrOrdinal());
    control.text = reader.NameOrOrdinal();
    const WORD extra = reader.Word();
    reader.Skip(extra);
    out.controls.push_back(std::move(control));
  }
  return true;
}

}  // namespace kestrune::ui::win32
