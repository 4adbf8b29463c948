#include "ui/script/transcript_lines.h"

#include "text/utf8.h"
#include "wizard/window_messages.h"

namespace kestrune {

Transcript::Transcript(std::FILE* file, bool owned) : file_(file), owned_(owned) {}

Transcript::~Transcript() {
  if (owned_ && file_ != nullptr) std::fclose(file_);
}

void Transcript::Write(const std::string& line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(line);
  if (file_ == nullptr) return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

std::vector<std::string> Transcript::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string Quote(const std::wstring& text) {
  std::wstring escaped;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') continue;
      escaped += L"\\n";
    } else if (c == L'\n') {
      escaped += L"\\n";
    } else if (c == L'"') {
      escaped += L"\\\"";
    } else {
      escaped += c;
    }
  }
  // Built by appending: GCC 12 warns (-Wrestrict) falsely on "\"" + text + "\"".
  std::string quoted(1, '"');
  quoted.append(text::Utf8FromWide(escaped));
  quoted.push_back('"');
  return quoted;
}

std::string PageName(uint32_t templateId) {
  switch (templateId) {
    case 102:
      return "start";
    case 103:
      return "info";
    case 106:
      return "drive";
    case 107:
      return "write";
    default:
      return "none";
  }
}

std::string ButtonName(int button) {
  switch (button) {
    case wm::kIdOk:
      return "OK";
    case wm::kIdCancel:
      return "Cancel";
    case wm::kIdYes:
      return "Yes";
    case wm::kIdNo:
      return "No";
    default:
      return "none";
  }
}

int ButtonFromName(const std::string& name) {
  if (name == "ok") return wm::kIdOk;
  if (name == "cancel") return wm::kIdCancel;
  if (name == "yes") return wm::kIdYes;
  if (name == "no") return wm::kIdNo;
  return 0;
}

std::string PageLine(const std::string& page, uint32_t wizardButtons, bool cancelEnabled) {
  const bool back = (wizardButtons & wm::kWizButtonBack) != 0;
  const bool next = (wizardButtons & wm::kWizButtonNext) != 0;
  const char* buttons = back && next ? "Back,Next" : back ? "Back" : next ? "Next" : "none";
  return "page " + page + " buttons=" + buttons + " cancel=" + (cancelEnabled ? "on" : "off");
}

std::string BoxLine(uint32_t id, const std::vector<int>& buttons, int defaultButton,
                    const std::wstring& text) {
  std::string names;
  for (const int button : buttons) names += ButtonName(button);
  return "box " + std::to_string(id) + " buttons=" + names +
         " default=" + ButtonName(defaultButton) + " text=" + Quote(text);
}

std::string DrivesLine(const std::vector<std::wstring>& entries) {
  std::string line = "drives [";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i != 0) line += ",";
    line += Quote(entries[i]);
  }
  return line + "]";
}

std::string RowLine(int row, const std::wstring& task, const std::wstring& status) {
  return "row " + std::to_string(row) + " " + Quote(task) + " " + Quote(status);
}

std::string StatusLine(const std::wstring& status) { return "status " + Quote(status); }

}  // namespace kestrune
