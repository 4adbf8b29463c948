#pragma once

// The recorders and discs the fake IMAPI2 server serves, held in memory for the process. The
// rules of a disc (its status bits, its profiles, its capacity) are those of the simulated
// machine of the Linux build, so that a scenario gives the same answers on both.

#include "platform/win32/windows_support.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "testing/win32/fake_imapi2/fake_imapi2_control.h"

namespace kestrune::fake_imapi2 {

struct Disc {
  uint32_t mediaType = 11;
  uint32_t state = kFakeDiscBlank;
  bool damaged = false;
  uint64_t capacityBytes = 0;
  std::vector<uint8_t> image;  // what a write put onto it
};

struct Recorder {
  FakeImapiRecorder setup{};
  std::optional<Disc> disc;
  uint32_t ejectCount = 0;
  uint32_t verificationLevel = 0;
  std::wstring clientName;
};

/// The one machine of the process. Lock `mutex` around every use of `recorders`; never hold
/// it while calling out (a progress receiver may call back into the server).
struct Machine {
  static Machine& Instance();

  platform::Mutex mutex;
  std::vector<Recorder> recorders KESTRUNE_GUARDED_BY(mutex);

  /// The recorder with `uniqueId`, or null. Call with the lock held.
  Recorder* Find(const std::wstring& uniqueId) KESTRUNE_REQUIRES(mutex);
};

/// The recorder of the simulated machine's default description.
void FillDefaultRecorder(FakeImapiRecorder& recorder);
/// Replaces the machine's recorders by these.
void Configure(const FakeImapiRecorder* recorders, uint32_t count);

/// The code the description makes `call` answer: S_OK, or its failCode.
HRESULT FailingCall(const Recorder& recorder, const wchar_t* call);
std::vector<std::wstring> VolumePaths(const FakeImapiRecorder& recorder);
std::vector<uint32_t> SupportedMediaTypes(const FakeImapiRecorder& recorder);
/// IMAPI_FORMAT2_DATA_MEDIA_STATE bits of a disc.
uint32_t MediaStatus(const Disc& disc);
/// MMC profiles current for a disc.
std::vector<uint32_t> Profiles(const Disc& disc);
uint64_t Capacity(const Disc& disc);
bool IsRewritable(uint32_t mediaType);
bool IsReadOnly(uint32_t mediaType);

}  // namespace kestrune::fake_imapi2
