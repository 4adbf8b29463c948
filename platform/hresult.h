#pragma once

#include <cstdint>

namespace kestrune::platform {

/// A COM-style result code, kept as its 32-bit pattern so that the codes of the Windows
/// services (0xC0AA0202 and the like) read the same in the core on every platform.
/// Bit 31 set is a failure; every other value is a success, S_OK (0) the plain one.
using HResult = uint32_t;

inline constexpr HResult kS_OK = 0x00000000;
inline constexpr HResult kS_FALSE = 0x00000001;
inline constexpr HResult kE_NOTIMPL = 0x80004001;
inline constexpr HResult kE_NOINTERFACE = 0x80004002;
inline constexpr HResult kE_POINTER = 0x80004003;
/// The operation was abandoned before it began.
inline constexpr HResult kE_ABORT = 0x80004004;
inline constexpr HResult kE_FAIL = 0x80004005;
inline constexpr HResult kE_INVALIDARG = 0x80070057;
/// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): what opening a missing file answers.
inline constexpr HResult kE_FILE_NOT_FOUND = 0x80070002;
/// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED): a device that went away.
inline constexpr HResult kE_DEVICE_NOT_CONNECTED = 0x8007048F;

[[nodiscard]] inline constexpr bool Succeeded(HResult hr) { return (hr & 0x80000000u) == 0; }
[[nodiscard]] inline constexpr bool Failed(HResult hr) { return !Succeeded(hr); }

}  // namespace kestrune::platform
