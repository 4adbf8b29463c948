#include "sim/sim_disc_writer.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>
#include <thread>

#include "sim/iso_files.h"
#include "sim/machine_actions.h"
#include "sim/power_cut.h"
#include "sim/seven_zip.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace imapi = platform::imapi;
using platform::HResult;

constexpr uint64_t kSectorBytes = 2048;
constexpr uint64_t kMinimumEvents = 8;
constexpr int32_t kWritingAction = 4;  // IMAPI_FORMAT2_DATA_WRITE_ACTION_WRITING_DATA
constexpr HResult kNoConnection = 0x80040200;  // CONNECT_E_NOCONNECTION
constexpr HResult kClientNameNotValid = 0xC0AA0408;

bool Failing(const FailedCalls& calls, const char* call, HResult& hr) {
  const auto it = calls.find(call);
  if (it == calls.end()) return false;
  hr = it->second;
  return true;
}

// The event arguments; each getter answers the fault the recorder's failCalls give it.
class SimWriteProgress : public platform::DataWriteProgress {
 public:
  SimWriteProgress(const FailedCalls& faults, int32_t action, int32_t sectorCount, int32_t lba)
      : faults_(faults), action_(action), sectorCount_(sectorCount), lba_(lba) {}
  HResult GetCurrentAction(int32_t& action) override {
    return Answer("GetCurrentAction", action, action_);
  }
  HResult GetSectorCount(int32_t& sectorCount) override {
    return Answer("GetSectorCount", sectorCount, sectorCount_);
  }
  HResult GetLastWrittenLba(int32_t& lba) override {
    return Answer("GetLastWrittenLba", lba, lba_);
  }

 private:
  HResult Answer(const char* call, int32_t& out, int32_t value) const {
    HResult hr = platform::kS_OK;
    if (!Failing(faults_, call, hr)) out = value;
    return hr;
  }
  const FailedCalls& faults_;
  int32_t action_, sectorCount_, lba_;
};

bool IsRewritable(uint32_t mediaType) {
  return mediaType == 3 || mediaType == 5 || mediaType == 7 || mediaType == 10 || mediaType == 13 ||
         mediaType == 19;
}

bool IsReadOnly(uint32_t mediaType) {
  return mediaType == 1 || mediaType == 4 || mediaType == 14 || mediaType == 17;
}

// Flips one byte in the middle of the largest file below `folder`: the disc then reads back
// differently from its image, as a disc with a bad sector read as good would.
void FlipOneByte(const fs::path& folder) {
  fs::path largest;
  uintmax_t largestSize = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code statError;
    if (!it->is_regular_file(statError)) continue;
    const auto size = it->file_size(statError);
    if (!statError && size > largestSize) largest = it->path(), largestSize = size;
  }
  if (largestSize == 0) return;
  std::fstream file(largest, std::ios::in | std::ios::out | std::ios::binary);
  const auto offset = static_cast<std::streamoff>(largestSize / 2);
  char byte = 0;
  file.seekg(offset);
  file.read(&byte, 1);
  byte = static_cast<char>(byte ^ 0xFF);
  file.seekp(offset);
  file.write(&byte, 1);
}

}  // namespace

// Keeps the write at the recorder's speed: after `bytes` the clock must show bytes / speed.
struct SimDataWriter::Pace {
  explicit Pace(uint64_t bytesPerSecond)
      : speed(bytesPerSecond), start(std::chrono::steady_clock::now()) {}
  void After(uint64_t bytes) const {
    const auto due = start + std::chrono::microseconds(bytes * 1'000'000 / speed);
    std::this_thread::sleep_until(due);
  }
  uint64_t speed;
  std::chrono::steady_clock::time_point start;
};

HResult SimDataWriter::Describe(const char* call, RecorderDescription& recorder) const {
  if (!recorder_) return imapi::kE_RECORDER_REQUIRED;
  return recorder_->Describe(call, recorder);
}

HResult SimDataWriter::InjectedFault(const char* call) const {
  // Only an injected fault: a recorder that does not answer or has gone away does not
  // matter to a setting that the writer merely keeps.
  HResult hr = platform::kS_OK;
  MachineDescription machine;
  if (!recorder_ || !recorder_->machine().Read(machine)) return hr;
  for (const auto& candidate : machine.recorders) {
    if (candidate.uniqueId == recorder_->uniqueId()) Failing(candidate.failCalls, call, hr);
  }
  return hr;
}

SimDataWriter::~SimDataWriter() {
  if (recorder_ && recorder_->heldBy_ == this) recorder_->heldBy_ = nullptr;
}

void SimDataWriter::RecorderReleased(SimDiscRecorder* recorder) {
  if (recorder_ != recorder) return;
  recorder_ = nullptr;
  recorderReleasedWhileHeld_ = true;
}

HResult SimDataWriter::PutRecorder(platform::DiscRecorder* recorder) {
  if (writing_) return imapi::kE_WRITE_IN_PROGRESS;
  SimDiscRecorder* simRecorder = nullptr;
  if (recorder) {
    simRecorder = dynamic_cast<SimDiscRecorder*>(recorder);
    if (!simRecorder || simRecorder->uniqueId().empty()) return platform::kE_INVALIDARG;
    RecorderDescription description;
    const HResult hr = simRecorder->Describe("PutRecorder", description);
    if (hr != platform::kS_OK) return hr;
  }
  if (recorder_ && recorder_->heldBy_ == this) recorder_->heldBy_ = nullptr;
  recorder_ = simRecorder;
  if (recorder_) recorder_->heldBy_ = this;
  return platform::kS_OK;
}

HResult SimDataWriter::GetSupportedMediaTypes(std::vector<uint32_t>& mediaTypes) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetSupportedMediaTypes", recorder);
  if (hr == platform::kS_OK) mediaTypes = recorder.supportedMediaTypes;
  return hr;
}

HResult SimDataWriter::GetCurrentPhysicalMediaType(uint32_t& mediaType) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetCurrentPhysicalMediaType", recorder);
  if (hr != platform::kS_OK) return hr;
  if (!recorder.disc) return imapi::kE_MEDIA_NO_MEDIA;
  mediaType = recorder.disc->mediaType;
  return hr;
}

HResult SimDataWriter::GetCurrentMediaStatus(uint32_t& status) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetCurrentMediaStatus", recorder);
  if (hr != platform::kS_OK) return hr;
  if (!recorder.disc) return imapi::kE_MEDIA_NO_MEDIA;
  status = MediaStatusOf(*recorder.disc);
  return hr;
}

HResult SimDataWriter::PutClientName(const std::wstring& name) {
  if (name.empty()) return kClientNameNotValid;
  if (recorder_) {
    RecorderDescription recorder;
    const HResult hr = Describe("PutClientName", recorder);
    if (hr != platform::kS_OK) return hr;
  }
  clientName_ = name;
  return platform::kS_OK;
}

HResult SimDataWriter::GetCurrentRotationTypeIsPureCAV(bool& pureCav) {
  RecorderDescription recorder;
  const HResult hr = Describe("GetCurrentRotationTypeIsPureCAV", recorder);
  if (hr == platform::kS_OK) pureCav = recorder.pureCav;
  return hr;
}

HResult SimDataWriter::SetWriteSpeed(uint32_t sectorsPerSecond, bool rotationTypeIsPureCav) {
  RecorderDescription recorder;
  const HResult hr = Describe("SetWriteSpeed", recorder);
  if (hr != platform::kS_OK) return hr;
  writeSpeed_ = sectorsPerSecond;
  pureCavRequested_ = rotationTypeIsPureCav;
  // The drive writes at its own speed; any other request is adjusted to it.
  const bool speedKept = sectorsPerSecond == 0xFFFFFFFFu;
  const bool rotationKept = rotationTypeIsPureCav == recorder.pureCav;
  if (speedKept && rotationKept) return platform::kS_OK;
  if (speedKept) return imapi::kS_ROTATION_ADJUSTED;
  return rotationKept ? imapi::kS_SPEED_ADJUSTED : imapi::kS_BOTH_ADJUSTED;
}

HResult SimDataWriter::PutBurnVerificationLevel(uint32_t level) {
  if (level > imapi::kVerificationFull) return platform::kE_INVALIDARG;
  if (recorder_) {
    RecorderDescription recorder;
    const HResult hr = Describe("PutBurnVerificationLevel", recorder);
    if (hr != platform::kS_OK) return hr;
  }
  verificationLevel_ = level;
  return platform::kS_OK;
}

HResult SimDataWriter::PutForceMediaToBeClosed(bool force) {
  const HResult hr = InjectedFault("PutForceMediaToBeClosed");
  if (hr == platform::kS_OK) forceClosed_ = force;
  return hr;
}

HResult SimDataWriter::PutForceOverwrite(bool force) {
  const HResult hr = InjectedFault("PutForceOverwrite");
  if (hr == platform::kS_OK) forceOverwrite_ = force;
  return hr;
}

HResult SimDataWriter::Advise(platform::DataWriteEvents* events, uint32_t& cookie) {
  if (!events) return platform::kE_POINTER;
  if (recorder_) {
    RecorderDescription recorder;
    const HResult hr = Describe("Advise", recorder);
    if (hr != platform::kS_OK && hr != imapi::kE_COMMAND_TIMEOUT) return hr;
  }
  platform::MutexLock lock(sinksMutex_);
  cookie = nextCookie_++;
  sinks_[cookie] = events;
  return platform::kS_OK;
}

HResult SimDataWriter::Unadvise(uint32_t cookie) {
  // A failing Unadvise leaves the receiver connected, as a failing call changes nothing.
  const HResult hr = InjectedFault("Unadvise");
  if (hr != platform::kS_OK) return hr;
  platform::MutexLock lock(sinksMutex_);
  return sinks_.erase(cookie) == 1 ? platform::kS_OK : kNoConnection;
}

size_t SimDataWriter::connections() const {
  platform::MutexLock lock(sinksMutex_);
  return sinks_.size();
}

HResult SimDataWriter::CancelWrite() {
  if (!writing_) return imapi::kE_WRITE_NOT_IN_PROGRESS;
  cancelRequested_ = true;
  return platform::kS_OK;
}

bool SimDataWriter::Report(const RecorderDescription& recorder, int32_t action, int32_t sectorCount,
                           int32_t lastWrittenLba) {
  std::vector<platform::DataWriteEvents*> sinks;
  {
    platform::MutexLock lock(sinksMutex_);
    for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
  }
  ++actionCounts_.at(static_cast<size_t>(action));
  if (action == kWritingAction && lastWrittenLba > 0) PowerCutAt(power_cut::kBurn);
  HResult argumentsFault = platform::kS_OK;
  const bool noArguments = Failing(recorder.failCalls, "DataWriteProgress", argumentsFault);
  for (auto* sink : sinks) {
    SimWriteProgress progress(recorder.failCalls, action, sectorCount, lastWrittenLba);
    sink->Update(*this, noArguments ? nullptr : &progress);
  }
  return cancelRequested_;
}

bool SimDataWriter::SameDisc(const RecorderDescription& recorder) const {
  MachineDescription machine;
  if (!recorder_->machine().Read(machine)) return false;
  for (const auto& candidate : machine.recorders) {
    if (candidate.uniqueId == recorder.uniqueId) {
      return candidate.disc && candidate.discChanges == recorder.discChanges;
    }
  }
  return false;
}

HResult SimDataWriter::StillWriting(const RecorderDescription& recorder) const {
  bool held = false;
  for (;;) {
    MachineDescription machine;
    if (!recorder_->machine().Read(machine)) return platform::kE_FAIL;
    const auto now = std::find_if(
        machine.recorders.begin(), machine.recorders.end(),
        [&](const RecorderDescription& candidate) { return candidate.uniqueId == recorder.uniqueId; });
    if (now == machine.recorders.end()) return platform::kE_DEVICE_NOT_CONNECTED;
    if (!now->noAnswer) {
      if (held) return imapi::kE_COMMAND_TIMEOUT;
      const bool sameDisc = now->disc && now->discChanges == recorder.discChanges;
      return sameDisc ? platform::kS_OK : imapi::kE_MEDIA_NO_MEDIA;
    }
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void SimDataWriter::RecordWrite(const RecorderDescription& recorder, uint64_t imageBytes,
                                HResult result) {
  WriteRecord record;
  record.clientName = text::Utf8FromWide(clientName_);
  record.writeSpeed = writeSpeed_;
  record.pureCav = pureCavRequested_;
  record.verificationLevel = verificationLevel_;
  record.forceMediaToBeClosed = forceClosed_;
  record.forceOverwrite = forceOverwrite_;
  record.imageBytes = imageBytes;
  record.result = result;
  record.actions.assign(actionCounts_.begin(), actionCounts_.end());
  recorder_->machine().Modify([&](MachineDescription& machine) {
    for (auto& candidate : machine.recorders) {
      if (candidate.uniqueId != recorder.uniqueId) continue;
      candidate.lastWrite = record;
      ++candidate.writeCount;
      return true;
    }
    return false;
  });
}

HResult SimDataWriter::CheckDisc(const RecorderDescription& recorder, uint64_t imageSize) const {
  if (!recorder.disc) return imapi::kE_MEDIA_NO_MEDIA;
  const DiscDescription& disc = *recorder.disc;
  if (disc.damaged) return imapi::kE_INVALID_MEDIA_STATE;
  const auto& supported = recorder.supportedMediaTypes;
  if (IsReadOnly(disc.mediaType) ||
      std::find(supported.begin(), supported.end(), disc.mediaType) == supported.end()) {
    return imapi::kE_MEDIA_IS_NOT_SUPPORTED;
  }
  const bool blank = (MediaStatusOf(disc) & imapi::kMediaBlank) != 0;
  if (!blank && !(forceOverwrite_ && IsRewritable(disc.mediaType)))
    return imapi::kE_MEDIA_NOT_BLANK;
  if (imageSize == 0 || imageSize % kSectorBytes != 0) return imapi::kE_STREAM_NOT_SUPPORTED;
  const uint64_t capacity =
      disc.capacityBytes ? disc.capacityBytes : DefaultDiscCapacity(disc.mediaType);
  if (imageSize > capacity) return imapi::kE_STREAM_TOO_LARGE_FOR_MEDIA;
  return platform::kS_OK;
}

HResult SimDataWriter::Write(platform::DiscImageStream& stream) {
  if (writing_.exchange(true)) return imapi::kE_WRITE_IN_PROGRESS;
  struct Done {
    std::atomic<bool>& flag;
    ~Done() { flag = false; }
  } done{writing_};
  cancelRequested_ = false;

  auto* image = dynamic_cast<SimImageStream*>(&stream);
  if (!image) return imapi::kE_STREAM_NOT_SUPPORTED;
  RecorderDescription recorder;
  HResult hr = Describe("Write", recorder);
  if (hr != platform::kS_OK) return hr;
  actionCounts_.fill(0);
  const uint64_t size = image->size();
  hr = CheckDisc(recorder, size);
  if (hr == platform::kS_OK) {
    // IMAPI2 reports on threads of its own, never on the caller's.
    try {
      std::thread burner([&] { hr = Burn(recorder, image->file(), size); });
      burner.join();
    } catch (const std::system_error&) {
      hr = platform::kE_FAIL;
    }
  }
  RecordWrite(recorder, size, hr);
  return hr;
}

void SimDataWriter::MarkFailed(char letter) {
  Machine& machine = recorder_->machine();
  const std::string uniqueId = recorder_->uniqueId();
  machine.Modify([&](MachineDescription& description) {
    for (auto& candidate : description.recorders) {
      if (candidate.uniqueId != uniqueId || !candidate.disc) continue;
      candidate.disc->state = "appendable";
      candidate.disc->damaged = true;
      candidate.disc->image.clear();
      return true;
    }
    return false;
  });
  ClearFolder(machine.VolumeFolder(letter));
}

HResult SimDataWriter::Burn(const RecorderDescription& recorder, const fs::path& imageFile,
                            uint64_t size) {
  Machine& machine = recorder_->machine();
  const char letter = DriveLetter(recorder.letter);
  const auto sectors = static_cast<int32_t>(size / kSectorBytes);
  const uint64_t perInterval = recorder.writeBytesPerSecond * recorder.eventIntervalMs / 1000;
  const uint64_t perShare =
      (size / kMinimumEvents + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
  const uint64_t chunk =
      std::max(kSectorBytes, std::min(perInterval / kSectorBytes * kSectorBytes, perShare));
  const auto report = [&](int32_t action, int32_t lba) {
    return Report(recorder, action, sectors, lba);
  };

  const fs::path partial = machine.Folder() / "discs" /
                           (std::string(1, letter) + "-" + std::to_string(::getpid()) + ".partial");
  std::error_code error;
  auto failed = [&](HResult hr) {
    fs::remove(partial, error);
    // A disc that is no longer the one the write began on is left alone.
    if (SameDisc(recorder)) MarkFailed(letter);
    return hr;
  };
  auto cancelled = [&] { return failed(imapi::kE_REQUEST_CANCELLED); };

  if (recorder.announceInitialization && report(imapi::kActionValidatingMedia, 0))
    return cancelled();
  if (recorder.announceFormatting && report(imapi::kActionFormattingMedia, 0)) return cancelled();
  if (recorder.announceInitialization && report(imapi::kActionInitializingHardware, 0))
    return cancelled();
  if (recorder.announceCalibration && report(imapi::kActionCalibratingPower, 0)) return cancelled();
  {
    fs::create_directories(partial.parent_path(), error);
    fs::remove(partial, error);
    // The disc keeps the image: a link to it costs nothing where the file system allows one,
    // so that a fast recorder costs little more than reading the image once; else a copy.
    const bool linked = (fs::create_hard_link(imageFile, partial, error), !error);
    std::ifstream in;
    std::ofstream out;
    if (!linked) {
      in.open(imageFile, std::ios::binary);
      out.open(partial, std::ios::binary | std::ios::trunc);
      if (!in || !out) return failed(platform::kE_FAIL);
    }
    std::vector<char> buffer(linked ? 0 : std::min<uint64_t>(chunk, 1 << 20));
    Pace pace(recorder.writeBytesPerSecond);
    uint64_t written = 0;
    while (written < size) {
      const uint64_t end = std::min(size, written + chunk);
      while (!linked && written < end) {
        const auto want =
            static_cast<std::streamsize>(std::min<uint64_t>(buffer.size(), end - written));
        if (!in.read(buffer.data(), want) || !out.write(buffer.data(), want)) {
          out.close();
          return failed(imapi::kE_INVALID_RESPONSE_FROM_DEVICE);
        }
        written += static_cast<uint64_t>(want);
      }
      written = end;
      pace.After(written);
      if (const HResult lost = StillWriting(recorder); lost != platform::kS_OK) {
        return failed(lost);
      }
      if (report(imapi::kActionWritingData, static_cast<int32_t>(written / kSectorBytes)))
        return cancelled();
    }
    if (!linked) out.close();
    if (!linked && !out) return failed(imapi::kE_INVALID_RESPONSE_FROM_DEVICE);
  }
  if (!SameDisc(recorder)) return failed(imapi::kE_MEDIA_NO_MEDIA);
  if (report(imapi::kActionFinalization, sectors)) return cancelled();
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::min<uint32_t>(recorder.eventIntervalMs, 1000)));

  if (verificationLevel_ != imapi::kVerificationNone) {
    // Full verification reads the whole disc back at the writing speed; quick reads a little.
    const uint64_t toVerify =
        verificationLevel_ == imapi::kVerificationFull ? size : std::min(size, chunk);
    Pace pace(recorder.writeBytesPerSecond);
    for (uint64_t verified = 0; verified < toVerify;) {
      verified = std::min(toVerify, verified + chunk);
      pace.After(verified);
      if (const HResult lost = StillWriting(recorder); lost != platform::kS_OK) {
        return failed(lost);
      }
      if (report(imapi::kActionVerifying, sectors)) return cancelled();
    }
  }

  // The disc now holds the image: keep it in discs/ and show its files under the letter,
  // unless the disc was taken out meanwhile (the fresh one in the drive stays blank).
  std::string name;
  bool stillThere = false;
  machine.Modify([&](MachineDescription& description) {
    for (auto& candidate : description.recorders) {
      if (candidate.uniqueId != recorder.uniqueId || !candidate.disc ||
          candidate.discChanges != recorder.discChanges) {
        continue;
      }
      stillThere = true;
      name = "discs/" + std::string(1, letter) + "-" + std::to_string(++description.discsWritten) +
             ".iso";
      candidate.disc->state = forceClosed_ ? "closed" : "appendable";
      candidate.disc->image = name;
      return true;
    }
    return false;
  });
  if (!stillThere) {
    fs::remove(partial, error);
    return imapi::kE_MEDIA_NO_MEDIA;
  }
  fs::rename(partial, machine.Resolve(name), error);
  ClearFolder(machine.VolumeFolder(letter));
  if (!ExtractIsoFiles(machine.Resolve(name), machine.VolumeFolder(letter))) {
    ClearFolder(machine.VolumeFolder(letter));
    ExtractImage(machine.Resolve(name), machine.VolumeFolder(letter));
  }
  if (recorder.flipByteAfterBurn) FlipOneByte(machine.VolumeFolder(letter));
  report(imapi::kActionCompleted, sectors);
  return platform::kS_OK;
}

}  // namespace kestrune::sim
