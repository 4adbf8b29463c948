#pragma once

#include <array>
#include <atomic>
#include <map>

#include "platform/mutex.h"
#include "sim/sim_disc_service.h"

namespace kestrune::sim {

/// The data writer of the simulated machine. A write checks the disc as IMAPI2 does (no
/// disc, damaged, unsupported type, not blank, too small), writes the image into the
/// machine's discs/ folder at the recorder's writeBytesPerSecond while it reports progress,
/// verifies when verification is on, and then closes the disc (or leaves it appendable when
/// closing was not forced) and makes its files readable under the drive's letter.
///
/// As IMAPI2 does, the writer calls its progress receivers on a thread of its own while the
/// caller of `Write` waits. A disc taken out or swapped during the write fails it (a real
/// tray is locked) and the disc that is in the drive afterwards stays as it is. After each
/// write that reached the drive, the recorder's `lastWrite` in the description records what
/// was asked and how it went.
class SimDataWriter : public platform::DiscDataWriter {
 public:
  SimDataWriter() = default;
  ~SimDataWriter() override;
  SimDataWriter(const SimDataWriter&) = delete;
  SimDataWriter& operator=(const SimDataWriter&) = delete;

  platform::HResult PutRecorder(platform::DiscRecorder* recorder) override;
  platform::HResult GetSupportedMediaTypes(std::vector<uint32_t>& mediaTypes) override;
  platform::HResult GetCurrentPhysicalMediaType(uint32_t& mediaType) override;
  platform::HResult GetCurrentMediaStatus(uint32_t& status) override;
  platform::HResult PutClientName(const std::wstring& name) override;
  platform::HResult GetCurrentRotationTypeIsPureCAV(bool& pureCav) override;
  platform::HResult SetWriteSpeed(uint32_t sectorsPerSecond, bool rotationTypeIsPureCav) override;
  platform::HResult PutBurnVerificationLevel(uint32_t level) override;
  platform::HResult PutForceMediaToBeClosed(bool force) override;
  platform::HResult PutForceOverwrite(bool force) override;
  platform::HResult Advise(platform::DataWriteEvents* events, uint32_t& cookie) override;
  platform::HResult Unadvise(uint32_t cookie) override;
  platform::HResult Write(platform::DiscImageStream& stream) override;
  platform::HResult CancelWrite() override;

  /// What the writer was told, for tests and the demo.
  std::wstring clientName() const { return clientName_; }
  uint32_t verificationLevel() const { return verificationLevel_; }
  bool forceMediaToBeClosed() const { return forceClosed_; }
  bool forceOverwrite() const { return forceOverwrite_; }
  /// Receivers connected now.
  size_t connections() const;
  /// True once a recorder was released while this writer still held it.
  bool recorderReleasedWhileHeld() const { return recorderReleasedWhileHeld_; }

 private:
  friend class SimDiscRecorder;
  struct Pace;
  platform::HResult Describe(const char* call, RecorderDescription& recorder) const;
  /// The code the description's failCalls give `call` of the bound recorder (S_OK: none).
  platform::HResult InjectedFault(const char* call) const;
  platform::HResult CheckDisc(const RecorderDescription& recorder, uint64_t imageSize) const;
  /// Reports one event; true when a cancel was asked for (before or during the event).
  bool Report(const RecorderDescription& recorder, int32_t action, int32_t sectorCount,
              int32_t lastWrittenLba);
  platform::HResult Burn(const RecorderDescription& recorder,
                         const std::filesystem::path& imageFile, uint64_t size);
  /// False when the disc the write began on is no longer in the drive.
  bool SameDisc(const RecorderDescription& recorder) const;
  /// S_OK while the recorder is there, answers and holds the disc the write began on; looked
  /// at before every event. A recorder that went away or a disc taken out or swapped fails the
  /// write; a recorder that stopped answering holds it (no events, a cancel unheard) until it
  /// answers again or goes away, and the write then fails with the command timeout.
  platform::HResult StillWriting(const RecorderDescription& recorder) const;
  void MarkFailed(char letter);
  void RecordWrite(const RecorderDescription& recorder, uint64_t imageBytes,
                   platform::HResult result);
  void RecorderReleased(SimDiscRecorder* recorder);

  SimDiscRecorder* recorder_ = nullptr;
  std::wstring clientName_;
  uint32_t writeSpeed_ = 0xFFFFFFFFu;
  bool pureCavRequested_ = false;
  uint32_t verificationLevel_ = platform::imapi::kVerificationQuick;
  bool forceClosed_ = false;
  bool forceOverwrite_ = false;
  bool recorderReleasedWhileHeld_ = false;
  mutable platform::Mutex sinksMutex_;
  std::map<uint32_t, platform::DataWriteEvents*> sinks_ KESTRUNE_GUARDED_BY(sinksMutex_);
  uint32_t nextCookie_ KESTRUNE_GUARDED_BY(sinksMutex_) = 1;
  std::atomic<bool> writing_{false};
  std::atomic<bool> cancelRequested_{false};
  std::array<uint32_t, 8> actionCounts_{};
};

}  // namespace kestrune::sim
