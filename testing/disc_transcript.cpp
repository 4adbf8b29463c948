#include "testing/disc_transcript.h"

#include <cstdio>

namespace kestrune::testing {

using namespace platform;

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Printable ASCII as it is, everything else escaped, so both platforms write the same bytes.
std::string Text(const std::wstring& text) {
  std::string quoted = "\"";
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != L'"') {
      quoted += static_cast<char>(c);
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      quoted += escape;
    }
  }
  return quoted + "\"";
}

std::string Numbers(const std::vector<uint32_t>& numbers) {
  std::string list = "[";
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) list += ',';
    list += std::to_string(numbers[i]);
  }
  return list + "]";
}

std::string Texts(const std::vector<std::wstring>& texts) {
  std::string list = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) list += ',';
    list += Text(texts[i]);
  }
  return list + "]";
}

// Records each event; the scenario may cancel at the first writing-data event. Both services
// report the events of a write one after another, and the transcript is not touched otherwise
// while the write runs.
class RecordingEvents : public DataWriteEvents {
 public:
  RecordingEvents(std::vector<std::string>& lines, bool cancelAtFirstWrite)
      : lines_(lines), cancelAtFirstWrite_(cancelAtFirstWrite) {}

  void Update(DiscDataWriter& writer, DataWriteProgress* progress) override {
    if (progress == nullptr) {
      lines_.push_back("  Update without arguments");
      return;
    }
    int32_t action = -1, sectors = -1, lba = -1;
    const HResult actionHr = progress->GetCurrentAction(action);
    const HResult sectorsHr = progress->GetSectorCount(sectors);
    const HResult lbaHr = progress->GetLastWrittenLba(lba);
    std::string line = "  Update action=" + std::to_string(action) +
                       " sectors=" + std::to_string(sectors) + " lba=" + std::to_string(lba);
    if (actionHr != kS_OK || sectorsHr != kS_OK || lbaHr != kS_OK)
      line += " (" + Hex(actionHr) + " " + Hex(sectorsHr) + " " + Hex(lbaHr) + ")";
    lines_.push_back(line);
    if (cancelAtFirstWrite_ && action == imapi::kActionWritingData) {
      cancelAtFirstWrite_ = false;
      lines_.push_back("  CancelWrite -> " + Hex(writer.CancelWrite()));
    }
  }

 private:
  std::vector<std::string>& lines_;
  bool cancelAtFirstWrite_;
};

}  // namespace

const std::vector<DiscScenario>& DiscScenarios() {
  static const std::vector<DiscScenario> scenarios = [] {
    std::vector<DiscScenario> list;
    DiscScenario blank;
    blank.name = "blank-dl-full-verification";
    list.push_back(blank);

    DiscScenario quick = blank;
    quick.name = "blank-dl-no-verification";
    quick.verificationLevel = imapi::kVerificationNone;
    list.push_back(quick);

    DiscScenario cancel = blank;
    cancel.name = "cancel-at-first-write";
    cancel.cancelAtFirstWrite = true;
    list.push_back(cancel);

    DiscScenario rewritable = blank;
    rewritable.name = "appendable-dvd-rw-overwritten";
    rewritable.discMediaType = imapi::kMediaTypeDvdMinusRw;
    rewritable.discState = "appendable";
    rewritable.verificationLevel = imapi::kVerificationQuick;
    list.push_back(rewritable);

    DiscScenario damaged = blank;
    damaged.name = "damaged-disc";
    damaged.discDamaged = true;
    list.push_back(damaged);

    DiscScenario empty = blank;
    empty.name = "no-disc";
    empty.hasDisc = false;
    list.push_back(empty);

    DiscScenario silent = blank;
    silent.name = "recorder-fails-to-initialise";
    silent.failCall = "InitializeDiscRecorder";
    silent.failCode = imapi::kE_INVALID_RESPONSE_FROM_DEVICE;
    list.push_back(silent);

    DiscScenario status = blank;
    status.name = "media-status-query-fails";
    status.failCall = "GetCurrentMediaStatus";
    status.failCode = imapi::kE_COMMAND_TIMEOUT;
    list.push_back(status);
    return list;
  }();
  return scenarios;
}

const DiscScenario* FindDiscScenario(const std::string& name) {
  for (const auto& scenario : DiscScenarios()) {
    if (scenario.name == name) return &scenario;
  }
  return nullptr;
}

std::vector<std::string> BurnTranscript(DiscService& service, const std::wstring& imagePath,
                                        const DiscScenario& scenario) {
  std::vector<std::string> lines;
  // Runs `call` first, then writes its line with what `value` says about its outputs.
  const auto add = [&](const std::string& name, HResult hr, const std::string& value = "") {
    lines.push_back(name + " -> " + Hex(hr) + (value.empty() ? "" : " " + value));
    return hr;
  };
  HResult hr = kS_OK;

  uint32_t count = 0;
  hr = service.GetRecorderCount(count);
  if (Failed(add("GetRecorderCount", hr, std::to_string(count))) || count == 0) return lines;
  std::wstring uniqueId;
  hr = service.GetRecorderUniqueId(0, uniqueId);
  if (Failed(add("GetRecorderUniqueId(0)", hr, Text(uniqueId)))) return lines;
  auto recorder = service.CreateRecorder(hr);
  if (Failed(add("CreateRecorder", hr)) || !recorder) return lines;
  if (Failed(add("InitializeDiscRecorder", recorder->InitializeDiscRecorder(uniqueId)))) {
    std::wstring unused;
    add("GetVendorId (unbound)", recorder->GetVendorId(unused));
    return lines;
  }
  std::wstring text;
  hr = recorder->GetVendorId(text);
  add("GetVendorId", hr, Text(text));
  hr = recorder->GetProductId(text);
  add("GetProductId", hr, Text(text));
  std::vector<std::wstring> paths;
  hr = recorder->GetVolumePathNames(paths);
  add("GetVolumePathNames", hr, Texts(paths));
  std::vector<uint32_t> numbers;
  hr = recorder->GetCurrentProfiles(numbers);
  add("GetCurrentProfiles", hr, Numbers(numbers));

  auto writer = service.CreateDataWriter(hr);
  if (Failed(add("CreateDataWriter", hr)) || !writer) return lines;
  uint32_t value = 0;
  add("GetCurrentMediaStatus (no recorder)", writer->GetCurrentMediaStatus(value));
  if (Failed(add("PutRecorder", writer->PutRecorder(recorder.get())))) return lines;
  numbers.clear();
  hr = writer->GetSupportedMediaTypes(numbers);
  add("GetSupportedMediaTypes", hr, Numbers(numbers));
  value = 0;
  hr = writer->GetCurrentMediaStatus(value);
  add("GetCurrentMediaStatus", hr, Hex(value));
  uint32_t mediaType = 0;
  const HResult typeHr = writer->GetCurrentPhysicalMediaType(mediaType);
  add("GetCurrentPhysicalMediaType", typeHr, std::to_string(mediaType));
  add("PutClientName", writer->PutClientName(L"Kestrix"));
  add("PutClientName(empty)", writer->PutClientName(L""));
  bool pureCav = false;
  hr = writer->GetCurrentRotationTypeIsPureCAV(pureCav);
  add("GetCurrentRotationTypeIsPureCAV", hr, pureCav ? "true" : "false");
  add("SetWriteSpeed(max)", writer->SetWriteSpeed(0xFFFFFFFFu, pureCav));
  add("SetWriteSpeed(1000, other rotation)", writer->SetWriteSpeed(1000, !pureCav));

  auto stream = service.OpenImageStream(imagePath, hr);
  if (Failed(add("OpenImageStream", hr)) || !stream) return lines;
  uint64_t size = 0;
  hr = stream->GetSize(size);
  add("GetSize", hr, std::to_string(size));
  add("PutBurnVerificationLevel", writer->PutBurnVerificationLevel(scenario.verificationLevel));
  add("PutForceMediaToBeClosed", writer->PutForceMediaToBeClosed(true));
  if (Succeeded(typeHr) &&
      (mediaType == imapi::kMediaTypeDvdPlusRw || mediaType == imapi::kMediaTypeDvdMinusRw ||
       mediaType == imapi::kMediaTypeDvdPlusRwDualLayer || mediaType == imapi::kMediaTypeBdRe)) {
    add("PutForceOverwrite", writer->PutForceOverwrite(true));
  }

  RecordingEvents events(lines, scenario.cancelAtFirstWrite);
  uint32_t cookie = 0;
  const HResult advised = add("Advise", writer->Advise(&events, cookie));
  add("CancelWrite (not writing)", writer->CancelWrite());
  lines.push_back("Write");
  add("Write", writer->Write(*stream));
  if (Succeeded(advised)) add("Unadvise", writer->Unadvise(cookie));
  add("Unadvise (again)", writer->Unadvise(cookie));

  value = 0;
  hr = writer->GetCurrentMediaStatus(value);
  add("GetCurrentMediaStatus (written)", hr, Hex(value));
  add("EjectMedia", recorder->EjectMedia());
  value = 0;
  hr = writer->GetCurrentMediaStatus(value);
  add("GetCurrentMediaStatus (ejected)", hr, Hex(value));
  numbers.clear();
  hr = recorder->GetCurrentProfiles(numbers);
  add("GetCurrentProfiles (ejected)", hr, Numbers(numbers));
  add("PutRecorder(none)", writer->PutRecorder(nullptr));
  add("GetCurrentPhysicalMediaType (no recorder)", writer->GetCurrentPhysicalMediaType(value));
  return lines;
}

}  // namespace kestrune::testing
