#include "app/repair_journal.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "app/journal_fields.h"
#include "text/ascii_case.h"
#include "text/utf8.h"

namespace kestrune {
namespace {

using journal_fields::Decode;
using journal_fields::Encode;
using journal_fields::Fields;
using journal_fields::HexDigit;
using journal_fields::ParseNumber;

constexpr const char* kHeader = "kestrune-repair-journal 1";

bool SameName(std::wstring_view a, std::wstring_view b) { return text::EqualsIgnoringAsciiCase(a, b); }

const char* StateName(SavedValueState state) {
  switch (state) {
    case SavedValueState::kAbsent:
      return "absent";
    case SavedValueState::kPresent:
      return "present";
    case SavedValueState::kUnreadable:
      return "unreadable";
    case SavedValueState::kUntouched:
      break;
  }
  return "untouched";
}

// "<state>:<type>:<hex bytes>", the bytes "-" when there are none.
std::string FormatValue(const SavedValue& value) {
  std::string out = StateName(value.state);
  out += ':' + std::to_string(value.type) + ':';
  if (value.data.empty()) return out + '-';
  for (const uint8_t byte : value.data) {
    char hex[3];
    std::snprintf(hex, sizeof(hex), "%02x", byte);
    out += hex;
  }
  return out;
}

bool ParseValue(const std::string& field, SavedValue& value) {
  const size_t first = field.find(':');
  const size_t second = first == std::string::npos ? first : field.find(':', first + 1);
  if (second == std::string::npos) return false;
  const std::string state = field.substr(0, first);
  if (state == "absent") {
    value.state = SavedValueState::kAbsent;
  } else if (state == "present") {
    value.state = SavedValueState::kPresent;
  } else if (state == "unreadable") {
    value.state = SavedValueState::kUnreadable;
  } else if (state == "untouched") {
    value.state = SavedValueState::kUntouched;
  } else {
    return false;
  }
  const std::string type = field.substr(first + 1, second - first - 1);
  if (type.empty() || type.size() > 10 ||
      !std::all_of(type.begin(), type.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const unsigned long long typeValue = std::stoull(type);
  if (typeValue > 0xffffffffULL) return false;
  value.type = static_cast<uint32_t>(typeValue);
  const std::string hex = field.substr(second + 1);
  value.data.clear();
  if (hex == "-") return true;
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    value.data.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

bool ParseHiveLine(const std::vector<std::string>& fields, UserHiveEntry& entry) {
  if (fields.size() != 7) return false;
  std::wstring sid, user;
  if (!Decode(fields[1], sid) || sid.empty() || !entry.sidString.Assign(sid)) return false;
  if (fields[2] == "here") {
    entry.hive = HiveMount::kMountedHere;
  } else if (fields[2] == "system") {
    entry.hive = HiveMount::kLoadedBySystem;
  } else {
    return false;
  }
  if (fields[3] != "0" && fields[3] != "1") return false;
  entry.hiveLeftMounted = fields[3] == "1";
  if (!Decode(fields[4], user) || user.empty() || !entry.userName.Assign(user)) return false;
  return ParseValue(fields[5], entry.autoplay) && ParseValue(fields[6], entry.noAutoRun);
}

template <typename Item, typename Matches>
void EraseIf(std::vector<Item>& items, Matches matches) {
  items.erase(std::remove_if(items.begin(), items.end(), matches), items.end());
}

}  // namespace

std::string FormatJournal(const JournalContents& contents) {
  std::string out = std::string(kHeader) + "\n";
  out += "owner " + std::to_string(contents.owner.id) + " " +
         std::to_string(contents.owner.startTime) + "\n";
  for (const JournalContents::MountedHive& mounted : contents.mountedHives) {
    out += "mounted " + Encode(mounted.sid) + " " + Encode(mounted.userName) + "\n";
  }
  for (const UserHiveEntry& entry : contents.hives) {
    out += "hive " + Encode(entry.sidString.view()) + " " +
           (entry.hive == HiveMount::kMountedHere ? "here" : "system") + " " +
           (entry.hiveLeftMounted ? "1" : "0") + " " + Encode(entry.userName.view()) + " " +
           FormatValue(entry.autoplay) + " " + FormatValue(entry.noAutoRun) + "\n";
  }
  for (const std::wstring& folder : contents.folders) out += "folder " + Encode(folder) + "\n";
  return out;
}

bool ParseJournal(const std::string& text, JournalContents& contents) {
  contents = JournalContents{};
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return false;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.empty()) continue;
    if (fields[0] == "owner" && fields.size() == 3) {
      uint64_t id = 0, start = 0;
      if (ParseNumber(fields[1], id) && ParseNumber(fields[2], start) && id <= 0xffffffffULL) {
        contents.owner = {static_cast<uint32_t>(id), start};
      }
    } else if (fields[0] == "mounted" && fields.size() == 3) {
      JournalContents::MountedHive mounted;
      if (Decode(fields[1], mounted.sid) && !mounted.sid.empty() &&
          Decode(fields[2], mounted.userName)) {
        contents.mountedHives.push_back(std::move(mounted));
      }
    } else if (fields[0] == "hive") {
      UserHiveEntry entry;
      if (ParseHiveLine(fields, entry)) contents.hives.push_back(std::move(entry));
    } else if (fields[0] == "folder" && fields.size() == 2) {
      std::wstring folder;
      if (Decode(fields[1], folder) && !folder.empty()) contents.folders.push_back(folder);
    }
  }
  return true;
}

std::string JournalName(const platform::ProcessIdentity& owner) {
  return std::to_string(owner.id) + "-" + std::to_string(owner.startTime) + ".journal";
}

RepairJournal::RepairJournal(platform::RepairJournalStore& store) : store_(store) {
  contents_.owner = store_.Self();
  name_ = JournalName(contents_.owner);
}

RepairJournal::~RepairJournal() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!written_ || !contents_.empty()) {
    // Nothing was written, or what is left was not undone (a folder that could not be
    // removed, say): that journal stays for the next start.
    return;
  }
  Hold hold(this);
  if (lock_) static_cast<void>(store_.Remove(name_));
}

RepairJournal::Hold::Hold(RepairJournal* journal) : journal_(journal) {
  if (journal_ == nullptr) return;
  journal_->mutex_.lock();
  if (journal_->holds_++ == 0) journal_->lock_ = journal_->store_.Lock();
}

RepairJournal::Hold::~Hold() {
  if (journal_ == nullptr) return;
  if (--journal_->holds_ == 0) journal_->lock_.reset();
  journal_->mutex_.unlock();
}

void RepairJournal::Save() {
  if (!lock_) return;  // the store is unusable
  if (contents_.empty()) {
    if (written_ && store_.Remove(name_)) written_ = false;
    return;
  }
  if (store_.Write(name_, FormatJournal(contents_))) written_ = true;
}

void RepairJournal::HiveMounting(const std::wstring& sid, const std::wstring& userName) {
  Hold hold(this);
  contents_.mountedHives.push_back({sid, userName});
  Save();
}

void RepairJournal::HiveUnmounted(const std::wstring& sid) {
  Hold hold(this);
  EraseIf(contents_.mountedHives,
          [&](const JournalContents::MountedHive& m) { return SameName(m.sid, sid); });
  Save();
}

void RepairJournal::HiveValuesSaved(const UserHiveEntry& entry) {
  Hold hold(this);
  EraseIf(contents_.hives,
          [&](const UserHiveEntry& e) { return SameName(e.sidString.view(), entry.sidString.view()); });
  contents_.hives.push_back(entry);
  Save();
}

void RepairJournal::HiveRestored(const std::wstring& sid, bool unmounted) {
  Hold hold(this);
  EraseIf(contents_.hives,
          [&](const UserHiveEntry& e) { return SameName(e.sidString.view(), sid); });
  if (unmounted) {
    EraseIf(contents_.mountedHives,
            [&](const JournalContents::MountedHive& m) { return SameName(m.sid, sid); });
  }
  Save();
}

void RepairJournal::FolderMade(const std::wstring& path) {
  Hold hold(this);
  if (std::find(contents_.folders.begin(), contents_.folders.end(), path) !=
      contents_.folders.end()) {
    return;
  }
  contents_.folders.push_back(path);
  Save();
}

void RepairJournal::FolderRemoved(const std::wstring& path) {
  Hold hold(this);
  const size_t before = contents_.folders.size();
  EraseIf(contents_.folders, [&](const std::wstring& folder) { return folder == path; });
  if (contents_.folders.size() != before) Save();
}

bool RepairJournal::LivePeerEntry(const std::wstring& sid, UserHiveEntry& entry) {
  Hold hold(this);
  if (!lock_) return false;
  for (const std::string& name : store_.List()) {
    if (name == name_) continue;
    std::string text;
    JournalContents peer;
    if (!store_.Read(name, text) || !ParseJournal(text, peer)) continue;
    if (peer.owner == contents_.owner || !store_.IsRunning(peer.owner)) continue;
    for (const UserHiveEntry& candidate : peer.hives) {
      if (SameName(candidate.sidString.view(), sid)) {
        entry = candidate;
        return true;
      }
    }
  }
  return false;
}

JournalContents RepairJournal::Contents() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return contents_;
}

}  // namespace kestrune
