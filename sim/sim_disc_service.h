#pragma once

#include <atomic>
#include <map>

#include "platform/disc_service.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// The disc service of a simulated machine: the recorders of the description, the discs in
/// them, and a data writer that writes an image at the recorder's speed. Every query reads
/// the description afresh, so a disc inserted or ejected by another process is seen at once.
/// Faults come from the description (see README.md): failCalls answer a named call with a
/// code, noAnswer makes a recorder time out, flipByteAfterBurn spoils a written disc.
class SimDiscService : public platform::DiscService {
 public:
  explicit SimDiscService(Machine& machine) : machine_(machine) {}

  platform::HResult GetRecorderCount(uint32_t& count) override;
  platform::HResult GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) override;
  std::unique_ptr<platform::DiscRecorder> CreateRecorder(platform::HResult& hr) override;
  std::unique_ptr<platform::DiscDataWriter> CreateDataWriter(platform::HResult& hr) override;
  std::unique_ptr<platform::DiscImageStream> OpenImageStream(const std::wstring& path,
                                                             platform::HResult& hr) override;

 private:
  Machine& machine_;
};

class SimDataWriter;

/// A recorder object of the simulated machine, bound by unique id.
class SimDiscRecorder : public platform::DiscRecorder {
 public:
  explicit SimDiscRecorder(Machine& machine) : machine_(machine) {}
  /// A recorder released while a writer still holds it leaves that writer without one, and
  /// the writer remembers it (SimDataWriter::recorderReleasedWhileHeld): the program must
  /// take a recorder out of the writer before it lets it go.
  ~SimDiscRecorder() override;
  SimDiscRecorder(const SimDiscRecorder&) = delete;
  SimDiscRecorder& operator=(const SimDiscRecorder&) = delete;

  platform::HResult InitializeDiscRecorder(const std::wstring& uniqueId) override;
  platform::HResult GetVendorId(std::wstring& vendorId) override;
  platform::HResult GetProductId(std::wstring& productId) override;
  platform::HResult GetVolumePathNames(std::vector<std::wstring>& paths) override;
  platform::HResult GetCurrentProfiles(std::vector<uint32_t>& profiles) override;
  platform::HResult EjectMedia() override;

  /// The recorder's current description for `call`: S_OK, or the code the call answers
  /// (not bound, recorder gone, a fault). Used by the writer too.
  platform::HResult Describe(const char* call, RecorderDescription& recorder) const;
  Machine& machine() const { return machine_; }
  const std::string& uniqueId() const { return uniqueId_; }

 private:
  friend class SimDataWriter;
  Machine& machine_;
  std::string uniqueId_;
  SimDataWriter* heldBy_ = nullptr;  // the writer this recorder is put into
};

/// The image file behind a stream. `sizeResult` is what GetSize answers (a fault from the
/// description, faults.discService "GetSize").
class SimImageStream : public platform::DiscImageStream {
 public:
  SimImageStream(std::filesystem::path file, uint64_t size,
                 platform::HResult sizeResult = platform::kS_OK)
      : file_(std::move(file)), size_(size), sizeResult_(sizeResult) {}
  platform::HResult GetSize(uint64_t& sizeBytes) override {
    if (sizeResult_ == platform::kS_OK) sizeBytes = size_;
    return sizeResult_;
  }
  const std::filesystem::path& file() const { return file_; }
  uint64_t size() const { return size_; }

 private:
  std::filesystem::path file_;
  uint64_t size_;
  platform::HResult sizeResult_;
};

/// Status bits (imapi::kMedia...) of a disc as the description states it.
uint32_t MediaStatusOf(const DiscDescription& disc);
/// MMC profiles current for a disc of the description.
std::vector<uint32_t> ProfilesOf(const DiscDescription& disc);

}  // namespace kestrune::sim
