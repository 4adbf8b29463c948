#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

/// The scripted front ends' record of what a person would see, one event a line, UTF-8. The
/// host and the Windows front ends write the same lines, so that one script gives one
/// transcript on both:
///
///   page NAME buttons=Back,Next|Back|Next|none cancel=on|off
///   box ID buttons=OK|OKCancel|YesNo default=OK|Cancel|Yes|No text="..."
///   answer OK|Cancel|Yes|No
///   drives ["...","..."]
///   row N "TASK" "STATUS"
///   status "..."
///   text ID "..."          (the dump command; ID a control id, or sN for a template text N)
///   item ID N "..." "..."  (the dump command: row N of list ID)
///   end CODE
///   script-error LINE: REASON
///
/// Texts are quoted with line breaks as \n and double quotes as \" (nothing else escaped).
class Transcript {
 public:
  /// Writes to `file` (not owned, or owned when `owned`).
  Transcript(std::FILE* file, bool owned);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  /// Writes one line (and flushes, so that a reader follows along). Any thread.
  void Write(const std::string& line);
  /// Every line written so far.
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::FILE* file_;
  bool owned_;
  std::vector<std::string> lines_;
};

/// `text` in double quotes, UTF-8, escaped as above.
std::string Quote(const std::wstring& text);
/// Transcript name of a page template: start, info, drive, write.
std::string PageName(uint32_t templateId);
/// "OK", "Cancel", "Yes", "No".
std::string ButtonName(int button);
/// The button a script names ("ok", "cancel", "yes", "no"); 0 for anything else.
int ButtonFromName(const std::string& name);

std::string PageLine(const std::string& page, uint32_t wizardButtons, bool cancelEnabled);
/// `buttons` in their order on the box (IDOK; IDOK, IDCANCEL; or IDYES, IDNO).
std::string BoxLine(uint32_t id, const std::vector<int>& buttons, int defaultButton,
                    const std::wstring& text);
std::string DrivesLine(const std::vector<std::wstring>& entries);
std::string RowLine(int row, const std::wstring& task, const std::wstring& status);
std::string StatusLine(const std::wstring& status);

}  // namespace kestrune
