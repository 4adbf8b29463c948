#pragma once

// The test-side controls of the fake IMAPI2 server (fake_imapi2.dll), an in-process COM
// server that registers the IMAPI2 disc master, recorder and data writer classes and serves
// them over recorders and discs held in memory. Tests load the DLL, register it, describe the
// recorders, let the program under test create the objects through COM as usual, and read
// back what was written. Plain C types only: the DLL and the test each have their own
// C++ runtime.

#include "platform/win32/windows_support.h"

#include <cstdint>

extern "C" {

/// Disc states, as the status bits of a disc report them.
enum FakeImapiDiscState : uint32_t {
  kFakeDiscBlank = 0,
  kFakeDiscAppendable = 1,
  kFakeDiscClosed = 2,
};

/// One recorder and the disc in it. FakeImapiDefaultRecorder fills in the recorder of the
/// simulated machine's default description, so a test changes only what it is about.
struct FakeImapiRecorder {
  wchar_t uniqueId[256];
  wchar_t volumePaths[4][64];  ///< empty strings end the list
  wchar_t vendorId[16];
  wchar_t productId[32];
  uint32_t supportedMediaTypes[20];
  uint32_t supportedMediaTypeCount;
  uint64_t writeBytesPerSecond;  ///< sets how many progress events a write reports
  uint64_t verifyBytesPerSecond;  ///< the verification's reading speed; 0: the writing speed
  uint32_t eventIntervalMs;
  int32_t announceInitialization;  ///< a write starts with actions 0 and 2
  int32_t pureCav;
  uint32_t feedBlankMediaType;  ///< after each eject a blank disc of this type; 0: none
  int32_t hasDisc;
  uint32_t discMediaType;
  uint32_t discState;  ///< FakeImapiDiscState
  int32_t discDamaged;
  uint64_t discCapacityBytes;  ///< 0: the usual capacity of the media type
  /// A call of the recorder or writer (named as in platform/disc_service.h, "Write") that
  /// answers `failCode` instead; empty: none.
  wchar_t failCall[64];
  uint32_t failCode;
};

/// What the fake has recorded about one recorder since it was configured.
struct FakeImapiRecorderState {
  uint32_t ejectCount;
  int32_t hasDisc;
  uint32_t discState;
  int32_t discDamaged;
  uint64_t imageBytes;         ///< size of the image written onto the disc in the drive
  uint32_t verificationLevel;  ///< of the last write
  wchar_t clientName[64];      ///< of the last write
};

typedef void(WINAPI* FakeImapiDefaultRecorderFunction)(FakeImapiRecorder* recorder);
typedef HRESULT(WINAPI* FakeImapiConfigureFunction)(const FakeImapiRecorder* recorders,
                                                    uint32_t count);
typedef HRESULT(WINAPI* FakeImapiRecorderStateFunction)(uint32_t index,
                                                        FakeImapiRecorderState* state);
/// Copies up to `capacity` bytes of the image on the disc in recorder `index`; returns the
/// number copied.
typedef uint64_t(WINAPI* FakeImapiReadDiscFunction)(uint32_t index, uint8_t* buffer,
                                                    uint64_t capacity);

}  // extern "C"
