#include "app/report_files.h"

#include <cstdio>

#include "app/program_version.h"
#include "app/work_folder.h"
#include "text/utf8.h"

namespace kestrune {
namespace {

std::string Utf8(const std::wstring& wide) { return kestrune::text::Utf8FromWide(wide); }

/// A JSON string: quotes, backslashes and control characters escaped, the rest UTF-8.
std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Seconds(uint64_t milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu.%03llu",
                static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}

std::string IsoTime(const SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return text;
}

// --- The text for a person ---

struct Words {
  const char* title;
  const char* set;
  const char* version;
  const char* made;
  const char* disc;   // %u of %u, %s device
  const char* stick;  // followed by the device
  const char* result;
  const char* started;
  const char* took;
  const char* speed;
  const char* written;
  const char* failed;
  const char* cancelled;
  const char* passed;
  const char* skipped;
  const char* steps[4];
  const char* files;
  const char* firstDifference;
  const char* none;
  const char* interrupted;
  const char* runStarted;
  const char* unknown;
};

constexpr Words kEnglish = {
    "Kestrune verification report",
    "Recovery set",
    "Program version",
    "Report made",
    "Recovery disc %u of %u, in the drive %s",
    "USB drive ",
    "Result",
    "Started",
    "Time taken",
    "Average speed",
    "written",
    "FAILED",
    "cancelled",
    "passed",
    "not done (switched off)",
    {"Writing", "Verification by the drive", "File check against the MD5 list",
     "Comparison with the downloaded images"},
    "files",
    "First difference",
    "Nothing was written or checked.",
    "The run was interrupted: it ended without finishing (a power cut, say). This report was "
    "made when the program started again.",
    "Run started",
    "  The run ended while it worked on this medium: its state is unknown. Do not use it.",
};

constexpr Words kJapanese = {
    "Kestrune 検証レポート",
    "リカバリーセット",
    "プログラムのバージョン",
    "レポート作成日時",
    "リカバリーディスク %u / %u（%s ドライブ）",
    "USB ドライブ ",
    "結果",
    "開始日時",
    "所要時間",
    "平均速度",
    "作成完了",
    "失敗",
    "キャンセル",
    "合格",
    "実行せず（オフ）",
    {"書き込み", "ドライブによる検証", "MD5 リストによるファイルの確認",
     "ダウンロードしたイメージとの比較"},
    "ファイル",
    "最初の相違",
    "書き込みも確認も行われませんでした。",
    "この実行は中断されました（停電などにより、完了せずに終了しました）。このレポートは、"
    "プログラムの次回起動時に作成されました。",
    "実行開始日時",
    "  このメディアの処理中に実行が終了したため、状態は不明です。使用しないでください。",
};

const Words& WordsFor(ReportLanguage language) {
  return language == ReportLanguage::kJapanese ? kJapanese : kEnglish;
}

std::string TextTime(const SystemTime& utc, UtcOffsetOf offsetOf) {
  const int offset = offsetOf != nullptr ? offsetOf(utc) : 0;
  const SystemTime t = ShiftedBy(utc, offset);
  char text[80];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  std::string shown = text;
  if (offset == 0) return shown + " UTC";
  const int size = offset < 0 ? -offset : offset;
  std::snprintf(text, sizeof text, " (UTC%c%02d:%02d)", offset < 0 ? '-' : '+', size / 60,
                size % 60);
  return shown + text;
}

std::string Duration(uint64_t milliseconds) {
  const uint64_t seconds = (milliseconds + 500) / 1000;
  char text[64];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

std::string Megabytes(uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string Speed(uint64_t bytes, uint64_t milliseconds) {
  if (milliseconds == 0) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.1f MB/s",
                static_cast<double>(bytes) / 1e3 / static_cast<double>(milliseconds));
  return text;
}

std::string Printf(const char* format, uint32_t a, uint32_t b, const std::string& c) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c.c_str());
  return text;
}

std::string StepLine(const Words& words, const StepRecord& step) {
  const char* result = words.passed;
  if (step.result == StepResult::kFailed) result = words.failed;
  if (step.result == StepResult::kCancelled) result = words.cancelled;
  if (step.result == StepResult::kSkipped) result = words.skipped;
  std::string line = std::string("  ") + words.steps[static_cast<int>(step.name)] + ": " + result;
  if (step.result == StepResult::kSkipped) return line + "\r\n";
  if (step.files > 0) line += ", " + std::to_string(step.files) + " " + words.files;
  if (step.bytes > 0) line += ", " + Megabytes(step.bytes);
  if (step.milliseconds > 0) line += ", " + Duration(step.milliseconds);
  line += "\r\n";
  if (!step.firstDifference.empty()) {
    line += std::string("    ") + words.firstDifference + ": " + Utf8(step.firstDifference) + "\r\n";
  }
  return line;
}

}  // namespace

const char* ProgramVersion() { return KESTRUNE_VERSION; }

std::string FormatReportJson(const ReportFacts& facts) {
  std::string json = "{\n  \"label\": " + JsonString(Utf8(facts.label)) +
                     ",\n  \"version\": " + JsonString(facts.version) +
                     ",\n  \"stateWordBefore\": " + std::to_string(facts.stateWordBefore) +
                     ",\n  \"stateWordAfter\": " +
                     (facts.stateWordAfter ? std::to_string(*facts.stateWordAfter) : "null");
  if (facts.interrupted) {
    json += ",\n  \"interrupted\": true,\n  \"runStarted\": \"" + IsoTime(facts.runStarted) + "\"";
  }
  json += ",\n  \"media\": [";
  for (size_t m = 0; m < facts.media.size(); ++m) {
    const MediumRecord& medium = facts.media[m];
    json += std::string(m == 0 ? "" : ",") + "\n    {\"kind\": \"" + MediumKindWord(medium.kind) +
            "\", \"number\": " + std::to_string(medium.number) +
            ", \"of\": " + std::to_string(medium.of) +
            ", \"device\": " + JsonString(Utf8(medium.device)) + ", \"result\": \"" +
            MediumResultWord(medium.result) + "\", \"started\": \"" + IsoTime(medium.started) +
            "\", \"seconds\": " + Seconds(medium.milliseconds) +
            ", \"bytes\": " + std::to_string(medium.bytes) +
            (medium.unfinished ? ", \"unfinished\": true" : "") + ",\n     \"steps\": [";
    for (size_t s = 0; s < medium.steps.size(); ++s) {
      const StepRecord& step = medium.steps[s];
      json += std::string(s == 0 ? "" : ",") + "\n       {\"name\": \"" + ReportStepWord(step.name) +
              "\", \"result\": \"" + StepResultWord(step.result) +
              "\", \"files\": " + std::to_string(step.files) +
              ", \"bytes\": " + std::to_string(step.bytes) +
              ", \"seconds\": " + Seconds(step.milliseconds);
      if (step.result == StepResult::kFailed && !step.firstDifference.empty()) {
        json += ", \"firstDifference\": " + JsonString(Utf8(step.firstDifference));
      }
      json += "}";
    }
    json += medium.steps.empty() ? "]}" : "\n     ]}";
  }
  json += facts.media.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return json;
}

std::string FormatReportText(const ReportFacts& facts, ReportLanguage language,
                             const SystemTime& written, UtcOffsetOf offsetOf) {
  const Words& words = WordsFor(language);
  std::string text = "\xEF\xBB\xBF";
  text += std::string(words.title) + "\r\n\r\n";
  text += std::string(words.set) + ": " + Utf8(facts.label) + "\r\n";
  text += std::string(words.version) + ": " + facts.version + "\r\n";
  text += std::string(words.made) + ": " + TextTime(written, offsetOf) + "\r\n";
  if (facts.interrupted) {
    text += std::string(words.runStarted) + ": " + TextTime(facts.runStarted, offsetOf) + "\r\n";
    text += std::string("\r\n") + words.interrupted + "\r\n";
  }
  if (facts.media.empty()) text += std::string("\r\n") + words.none + "\r\n";
  for (const MediumRecord& medium : facts.media) {
    text += "\r\n";
    text += medium.kind == MediumKind::kUsb
                ? words.stick + Utf8(medium.device)
                : Printf(words.disc, medium.number, medium.of, Utf8(medium.device));
    text += "\r\n";
    const char* result = words.written;
    if (medium.result == MediumResult::kFailed) result = words.failed;
    if (medium.result == MediumResult::kCancelled) result = words.cancelled;
    text += std::string("  ") + words.result + ": " + result + "\r\n";
    if (medium.unfinished) text += std::string(words.unknown) + "\r\n";
    text += std::string("  ") + words.started + ": " + TextTime(medium.started, offsetOf) + "\r\n";
    text += std::string("  ") + words.took + ": " + Duration(medium.milliseconds) + ", " +
            Megabytes(medium.bytes) + "\r\n";
    uint64_t writeMs = 0;
    for (const StepRecord& step : medium.steps) {
      if (step.name == ReportStep::kWrite) writeMs = step.milliseconds;
    }
    text += std::string("  ") + words.speed + ": " + Speed(medium.bytes, writeMs) + "\r\n";
    for (const StepRecord& step : medium.steps) text += StepLine(words, step);
  }
  return text;
}

std::wstring ReportBaseName(const SystemTime& t) {
  wchar_t name[96];
  std::swprintf(name, sizeof name / sizeof name[0], L"KestruneReport-%04u%02u%02u-%02u%02u%02u",
                t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return name;
}

std::wstring WriteReportFiles(platform::FileTree& files, const std::wstring& folder,
                              const ReportFacts& facts, ReportLanguage language,
                              const SystemTime& written, UtcOffsetOf offsetOf) {
  if (folder.empty()) return {};
  const std::string json = FormatReportJson(facts);
  const std::string text = FormatReportText(facts, language, written, offsetOf);
  const std::wstring base = ReportBaseName(written);
  for (int attempt = 1; attempt <= 9; ++attempt) {
    const std::wstring name = attempt == 1 ? base : base + L"-" + std::to_wstring(attempt);
    std::wstring textPath = JoinPath(folder, name + L".txt");
    const std::wstring jsonPath = JoinPath(folder, name + L".json");
    // Both names must be free; what is there already belongs to somebody else.
    if (files.Kind(textPath) != platform::EntryKind::kNone ||
        files.Kind(jsonPath) != platform::EntryKind::kNone) {
      continue;
    }
    if (!files.WriteNewFile(textPath, text)) continue;
    static_cast<void>(files.WriteNewFile(jsonPath, json));
    return textPath;
  }
  return {};
}

}  // namespace kestrune
