#include "platform/win32/windows_support.h"

#include "platform/win32/ui/win32_transcript.h"

#include <fcntl.h>
#include <io.h>

#include "wizard/window_messages.h"

namespace kestrune::platform::win32 {

Transcript::Transcript(std::FILE* file, bool owned) : file_(file), owned_(owned) {
  if (file_ != nullptr) _setmode(_fileno(file_), _O_BINARY);
}

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
  std::string quoted(1, '"');
  quoted.append(windows::NarrowText(escaped, CP_UTF8));
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

std::string BoxLine(const MessageBoxRecord& box) {
  std::string names;
  for (const int button : box.Buttons()) names += ButtonName(button);
  return "box " + std::to_string(box.id) + " buttons=" + names +
         " default=" + ButtonName(box.DefaultButton()) + " text=" + Quote(box.text);
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

}  // namespace kestrune::platform::win32
