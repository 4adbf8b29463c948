#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"

namespace kestrune::platform {

/// The optical disc service, shaped after the Windows Image Mastering API version 2 so that
/// the Windows side only forwards calls: `DiscService` stands for the disc master and the
/// object factory, `DiscRecorder` for IDiscRecorder2, `DiscDataWriter` for IDiscFormat2Data
/// (with IBurnVerification and its event connection point), `DiscImageStream` for a read-only
/// stream on a file. Every call answers with the code IMAPI2 gives for the same situation;
/// the rules that turn answers into list entries and verdicts belong to the caller.

/// Codes of the service (IMAPI2's own values).
namespace imapi {
inline constexpr HResult kE_REQUEST_CANCELLED = 0xC0AA0002;
inline constexpr HResult kE_RECORDER_REQUIRED = 0xC0AA0003;
inline constexpr HResult kS_SPEED_ADJUSTED = 0x00AA0004;
inline constexpr HResult kS_ROTATION_ADJUSTED = 0x00AA0005;
inline constexpr HResult kS_BOTH_ADJUSTED = 0x00AA0006;
inline constexpr HResult kE_BURN_VERIFICATION_FAILED = 0xC0AA0007;
inline constexpr HResult kE_MEDIA_NO_MEDIA = 0xC0AA0202;
inline constexpr HResult kE_MEDIA_INCOMPATIBLE = 0xC0AA0203;
inline constexpr HResult kE_COMMAND_TIMEOUT = 0xC0AA020D;
inline constexpr HResult kE_INVALID_RESPONSE_FROM_DEVICE = 0xC0AA02FF;
inline constexpr HResult kE_WRITE_IN_PROGRESS = 0xC0AA0400;
inline constexpr HResult kE_WRITE_NOT_IN_PROGRESS = 0xC0AA0401;
inline constexpr HResult kE_INVALID_MEDIA_STATE = 0xC0AA0402;
inline constexpr HResult kE_STREAM_NOT_SUPPORTED = 0xC0AA0403;
inline constexpr HResult kE_STREAM_TOO_LARGE_FOR_MEDIA = 0xC0AA0404;
inline constexpr HResult kE_MEDIA_NOT_BLANK = 0xC0AA0405;
inline constexpr HResult kE_MEDIA_IS_NOT_SUPPORTED = 0xC0AA0406;

/// IMAPI_FORMAT2_DATA_MEDIA_STATE bits of `GetCurrentMediaStatus`.
inline constexpr uint32_t kMediaOverwriteOnly = 0x0001;  // also "randomly writable"
inline constexpr uint32_t kMediaBlank = 0x0002;
inline constexpr uint32_t kMediaAppendable = 0x0004;
inline constexpr uint32_t kMediaFinalSession = 0x0008;
inline constexpr uint32_t kMediaDamaged = 0x0400;
inline constexpr uint32_t kMediaEraseRequired = 0x0800;
inline constexpr uint32_t kMediaNonEmptySession = 0x1000;
inline constexpr uint32_t kMediaWriteProtected = 0x2000;
inline constexpr uint32_t kMediaFinalized = 0x4000;
inline constexpr uint32_t kMediaUnsupported = 0x8000;

/// IMAPI_BURN_VERIFICATION_LEVEL.
inline constexpr uint32_t kVerificationNone = 0;
inline constexpr uint32_t kVerificationQuick = 1;
inline constexpr uint32_t kVerificationFull = 2;

/// IMAPI_FORMAT2_DATA_WRITE_ACTION.
inline constexpr int32_t kActionValidatingMedia = 0;
inline constexpr int32_t kActionFormattingMedia = 1;
inline constexpr int32_t kActionInitializingHardware = 2;
inline constexpr int32_t kActionCalibratingPower = 3;
inline constexpr int32_t kActionWritingData = 4;
inline constexpr int32_t kActionFinalization = 5;
inline constexpr int32_t kActionCompleted = 6;
inline constexpr int32_t kActionVerifying = 7;

/// Physical media types (IMAPI_MEDIA_PHYSICAL_TYPE) the program names.
inline constexpr uint32_t kMediaTypeDvdPlusRw = 7;
inline constexpr uint32_t kMediaTypeDvdMinusR = 9;
inline constexpr uint32_t kMediaTypeDvdMinusRw = 10;
inline constexpr uint32_t kMediaTypeDvdMinusRDualLayer = 11;
inline constexpr uint32_t kMediaTypeDvdPlusRwDualLayer = 13;
inline constexpr uint32_t kMediaTypeBdR = 18;
inline constexpr uint32_t kMediaTypeBdRe = 19;

/// Profiles (MMC feature profiles) of `GetCurrentProfiles` for dual-layer DVD-R.
inline constexpr uint32_t kProfileDvdMinusRDualLayerSequential = 0x15;
inline constexpr uint32_t kProfileDvdMinusRDualLayerJump = 0x16;
}  // namespace imapi

/// A read-only stream on an image file (Windows: SHCreateStreamOnFileW with STGM_READ |
/// STGM_SHARE_DENY_WRITE). Only the service that opened it can write it to a disc.
class DiscImageStream {
 public:
  virtual ~DiscImageStream() = default;

  /// IStream::Stat: the size of the stream in bytes.
  [[nodiscard]] virtual HResult GetSize(uint64_t& sizeBytes) = 0;
};

/// One optical recorder (IDiscRecorder2). A fresh object is bound to nothing; every other
/// call fails with kE_FAIL until `InitializeDiscRecorder` succeeded.
class DiscRecorder {
 public:
  virtual ~DiscRecorder() = default;

  /// Binds the object to the recorder with this unique id (from `DiscService`).
  [[nodiscard]] virtual HResult InitializeDiscRecorder(const std::wstring& uniqueId) = 0;
  /// Vendor and product id exactly as the drive reports them (padded with spaces, not trimmed).
  [[nodiscard]] virtual HResult GetVendorId(std::wstring& vendorId) = 0;
  [[nodiscard]] virtual HResult GetProductId(std::wstring& productId) = 0;
  /// The places the drive is mounted: "E:\" for a drive letter, or folder paths. May be empty.
  [[nodiscard]] virtual HResult GetVolumePathNames(std::vector<std::wstring>& paths) = 0;
  /// The profile numbers current for the inserted disc (empty without a disc).
  [[nodiscard]] virtual HResult GetCurrentProfiles(std::vector<uint32_t>& profiles) = 0;
  /// Opens the tray; the disc is out of the drive afterwards.
  [[nodiscard]] virtual HResult EjectMedia() = 0;
};

/// The progress of a running write, as IDiscFormat2DataEventArgs reports it. Each getter can
/// fail as the COM property can.
class DataWriteProgress {
 public:
  virtual ~DataWriteProgress() = default;

  /// One of the imapi::kAction... codes.
  [[nodiscard]] virtual HResult GetCurrentAction(int32_t& action) = 0;
  /// Number of sectors of the whole write (2048 bytes each).
  [[nodiscard]] virtual HResult GetSectorCount(int32_t& sectorCount) = 0;
  /// Address of the last sector written so far.
  [[nodiscard]] virtual HResult GetLastWrittenLba(int32_t& lba) = 0;
};

class DiscDataWriter;

/// Receiver of write progress (DDiscFormat2DataEvents::Update). Called while `Write` runs, on
/// a thread of the service's choosing (Windows: an IMAPI2 thread; not the caller's UI
/// thread); it must not block long. `progress` is null when the service could not supply the
/// event arguments. `writer` is the writer that runs the write: calling its `CancelWrite`
/// from here is the way to stop it.
class DataWriteEvents {
 public:
  virtual ~DataWriteEvents() = default;
  virtual void Update(DiscDataWriter& writer, DataWriteProgress* progress) = 0;
};

/// The data writer (IDiscFormat2Data). All queries about the disc go to the recorder put in
/// with `PutRecorder`; without one they fail with imapi::kE_RECORDER_REQUIRED.
class DiscDataWriter {
 public:
  virtual ~DiscDataWriter() = default;

  /// Binds the writer to `recorder` (an initialised recorder of the same service), or to
  /// nothing when it is null. The writer does not own the recorder; the caller keeps it alive
  /// while it is put in.
  [[nodiscard]] virtual HResult PutRecorder(DiscRecorder* recorder) = 0;
  /// Physical media types this writer can write in the recorder.
  [[nodiscard]] virtual HResult GetSupportedMediaTypes(std::vector<uint32_t>& mediaTypes) = 0;
  /// Physical media type of the inserted disc; imapi::kE_MEDIA_NO_MEDIA without a disc.
  [[nodiscard]] virtual HResult GetCurrentPhysicalMediaType(uint32_t& mediaType) = 0;
  /// imapi::kMedia... bits of the inserted disc; imapi::kE_MEDIA_NO_MEDIA without a disc.
  [[nodiscard]] virtual HResult GetCurrentMediaStatus(uint32_t& status) = 0;
  /// The name shown to other programs that want the drive while this one writes.
  [[nodiscard]] virtual HResult PutClientName(const std::wstring& name) = 0;
  [[nodiscard]] virtual HResult GetCurrentRotationTypeIsPureCAV(bool& pureCav) = 0;
  /// Requests a speed in sectors per second (0xFFFFFFFF: the highest). The success codes
  /// imapi::kS_..._ADJUSTED say that the drive chose a nearby speed or rotation instead.
  [[nodiscard]] virtual HResult SetWriteSpeed(uint32_t sectorsPerSecond,
                                              bool rotationTypeIsPureCav) = 0;
  /// IBurnVerification::put_BurnVerificationLevel (imapi::kVerification...). Fails with
  /// kE_NOINTERFACE where the writer has no verification.
  [[nodiscard]] virtual HResult PutBurnVerificationLevel(uint32_t level) = 0;
  /// Close the disc after the write, so that nothing can be appended.
  [[nodiscard]] virtual HResult PutForceMediaToBeClosed(bool force) = 0;
  /// Write over the content of a rewritable disc instead of requiring a blank one.
  [[nodiscard]] virtual HResult PutForceOverwrite(bool force) = 0;

  /// Connects a progress receiver (connection point Advise). The receiver stays connected
  /// until `Unadvise` with the returned cookie; the caller keeps it alive until then.
  [[nodiscard]] virtual HResult Advise(DataWriteEvents* events, uint32_t& cookie) = 0;
  [[nodiscard]] virtual HResult Unadvise(uint32_t cookie) = 0;

  /// Writes `stream` onto the disc from its start, synchronously: returns when the disc is
  /// written (S_OK), the write failed, or it was cancelled (imapi::kE_REQUEST_CANCELLED).
  /// Meanwhile it reports progress to every connected receiver, in the order IMAPI2 does:
  /// validating/initialising, writing data with a rising last written address, finalisation,
  /// verifying (only with a verification level other than none), completed.
  [[nodiscard]] virtual HResult Write(DiscImageStream& stream) = 0;
  /// Asks a running `Write` to stop; it returns at its next progress event. Callable from
  /// any thread, including from inside `DataWriteEvents::Update`.
  [[nodiscard]] virtual HResult CancelWrite() = 0;
};

/// The disc master (IDiscMaster2) and the factory of the objects above.
class DiscService {
 public:
  virtual ~DiscService() = default;

  /// Number of recorders of the system, and the unique id of recorder `index` (from 0).
  [[nodiscard]] virtual HResult GetRecorderCount(uint32_t& count) = 0;
  [[nodiscard]] virtual HResult GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) = 0;

  /// New, unbound objects (Windows: CoCreateInstance). Null with `hr` set when the service
  /// cannot make one.
  [[nodiscard]] virtual std::unique_ptr<DiscRecorder> CreateRecorder(HResult& hr) = 0;
  [[nodiscard]] virtual std::unique_ptr<DiscDataWriter> CreateDataWriter(HResult& hr) = 0;

  /// Opens `path` for reading as a stream to write (kE_FILE_NOT_FOUND and the like).
  [[nodiscard]] virtual std::unique_ptr<DiscImageStream> OpenImageStream(const std::wstring& path,
                                                                         HResult& hr) = 0;
};

}  // namespace kestrune::platform
