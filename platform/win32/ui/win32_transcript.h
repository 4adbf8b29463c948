#pragma once

// The scripted front end's record of what a person would see, one event a line, UTF-8, in
// exactly the lines of the Linux scripted front end (ui/host/transcript.h), so that the same
// script gives the same transcript on both:
//
//   page NAME buttons=Back,Next|Back|Next|none cancel=on|off
//   box ID buttons=OK|OKCancel|YesNo default=OK|Cancel|Yes|No text="..."
//   answer OK|Cancel|Yes|No
//   drives ["...","..."]
//   row N "TASK" "STATUS"
//   status "..."
//   text ID "..."  |  item ID N "..." "..."   (the dump command)
//   end CODE
//   script-error LINE: REASON

#include "platform/win32/windows_support.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/ui/win32_toolkit.h"

namespace kestrune::platform::win32 {

class Transcript {
 public:
  /// Writes to `file` (closed at the end when `owned`), in binary mode: lines end with "\n".
  Transcript(std::FILE* file, bool owned);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  /// Writes one line and flushes it (any thread).
  void Write(const std::string& line);
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::FILE* file_;
  bool owned_;
  std::vector<std::string> lines_;
};

/// `text` in double quotes, UTF-8, line breaks as \n and double quotes as \".
std::string Quote(const std::wstring& text);
/// start, info, drive, write; none for anything else.
std::string PageName(uint32_t templateId);
/// OK, Cancel, Yes, No.
std::string ButtonName(int button);
/// The button a script names (ok, cancel, yes, no); 0 for anything else.
int ButtonFromName(const std::string& name);

std::string PageLine(const std::string& page, uint32_t wizardButtons, bool cancelEnabled);
std::string BoxLine(const MessageBoxRecord& box);
std::string DrivesLine(const std::vector<std::wstring>& entries);
std::string RowLine(int row, const std::wstring& task, const std::wstring& status);
std::string StatusLine(const std::wstring& status);

}  // namespace kestrune::platform::win32
