#pragma once

// The disc service over the Image Mastering API version 2. Each port call is one IMAPI2 call
// through IDispatch (dispatch_object.h); the HRESULT IMAPI2 answers is passed on unchanged.

#include "platform/win32/windows_support.h"

#include <objidl.h>
#include <ocidl.h>

#include <map>
#include <memory>
#include <optional>

#include "platform/disc_service.h"
#include "platform/mutex.h"
#include "platform/win32/dispatch_object.h"
#include "platform/win32/imapi2_ids.h"

namespace kestrune::platform::win32 {

/// The disc master (MsftDiscMaster2) and the factory of recorders and data writers. COM must
/// be initialised on the calling threads (the program joins the multithreaded apartment).
class Win32DiscService : public DiscService {
 public:
  /// Creates the disc master unless it exists. Start-up calls it to learn whether IMAPI2 is
  /// usable at all; the recorder queries create it on first use otherwise.
  [[nodiscard]] HResult Open();

  HResult GetRecorderCount(uint32_t& count) override;
  HResult GetRecorderUniqueId(uint32_t index, std::wstring& uniqueId) override;
  std::unique_ptr<DiscRecorder> CreateRecorder(HResult& hr) override;
  std::unique_ptr<DiscDataWriter> CreateDataWriter(HResult& hr) override;
  /// SHCreateStreamOnFileW(path, STGM_READ | STGM_SHARE_DENY_WRITE).
  std::unique_ptr<DiscImageStream> OpenImageStream(const std::wstring& path, HResult& hr) override;

 private:
  /// The master, created by the first call that needs it.
  DispatchObject* Master(HResult& hr) KESTRUNE_EXCLUDES(mutex_);

  platform::Mutex mutex_;
  std::optional<DispatchObject> master_ KESTRUNE_GUARDED_BY(mutex_);
};

/// A recorder object (MsftDiscRecorder2).
class Win32DiscRecorder : public DiscRecorder {
 public:
  explicit Win32DiscRecorder(windows::ComPtr<IDispatch> recorder);

  HResult InitializeDiscRecorder(const std::wstring& uniqueId) override;
  HResult GetVendorId(std::wstring& vendorId) override;
  HResult GetProductId(std::wstring& productId) override;
  HResult GetVolumePathNames(std::vector<std::wstring>& paths) override;
  HResult GetCurrentProfiles(std::vector<uint32_t>& profiles) override;
  HResult EjectMedia() override;

  /// The IDiscRecorder2 object, for the data writer's Recorder property.
  IDispatch* dispatch() const { return recorder_.get(); }

 private:
  DispatchObject recorder_;
};

/// A stream on an image file.
class Win32ImageStream : public DiscImageStream {
 public:
  explicit Win32ImageStream(windows::ComPtr<IStream> stream) : stream_(std::move(stream)) {}
  HResult GetSize(uint64_t& sizeBytes) override;
  IStream* stream() const { return stream_.get(); }

 private:
  windows::ComPtr<IStream> stream_;
};

/// The data writer (MsftDiscFormat2Data) with its burn verification and its progress events.
class Win32DataWriter : public DiscDataWriter {
 public:
  explicit Win32DataWriter(windows::ComPtr<IDispatch> format);
  ~Win32DataWriter() override;

  HResult PutRecorder(DiscRecorder* recorder) override;
  HResult GetSupportedMediaTypes(std::vector<uint32_t>& mediaTypes) override;
  HResult GetCurrentPhysicalMediaType(uint32_t& mediaType) override;
  HResult GetCurrentMediaStatus(uint32_t& status) override;
  HResult PutClientName(const std::wstring& name) override;
  HResult GetCurrentRotationTypeIsPureCAV(bool& pureCav) override;
  HResult SetWriteSpeed(uint32_t sectorsPerSecond, bool rotationTypeIsPureCav) override;
  HResult PutBurnVerificationLevel(uint32_t level) override;
  HResult PutForceMediaToBeClosed(bool force) override;
  HResult PutForceOverwrite(bool force) override;
  /// Connects a sink of our own (an IDispatch for DDiscFormat2DataEvents) to the writer's
  /// connection point; the cookie is the connection point's.
  HResult Advise(DataWriteEvents* events, uint32_t& cookie) override;
  HResult Unadvise(uint32_t cookie) override;
  HResult Write(DiscImageStream& stream) override;
  HResult CancelWrite() override;

 private:
  DispatchObject format_;
  platform::Mutex connectionsMutex_;
  std::map<uint32_t, windows::ComPtr<IConnectionPoint>> connections_
      KESTRUNE_GUARDED_BY(connectionsMutex_);
};

}  // namespace kestrune::platform::win32
