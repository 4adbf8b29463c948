#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "devices/imapi_context.h"
#include "platform/hresult.h"

namespace kestrune {

using platform::HResult;

/// Verdicts of CheckInsertedMedia on the disc in the bound drive.
inline constexpr uint32_t MEDIA_READY = 0;
inline constexpr uint32_t MEDIA_NO_DISC = 1;
inline constexpr uint32_t MEDIA_NOT_BLANK = 2;
inline constexpr uint32_t MEDIA_WRONG_TYPE = 3;
inline constexpr uint32_t MEDIA_UNUSABLE = 4;
inline constexpr uint32_t MEDIA_RETRY = 99;

/// Replaces `entries` with one list entry per usable recorder ("( E:\ ) VENDOR PRODUCT "), in
/// the service's order. True when every call made succeeded.
[[nodiscard]] bool EnumRecorders(ImapiContext& imapi, std::vector<std::wstring>& entries);

/// What the drive with `letter` can write and what disc it holds: the media mask it can use
/// (0x800 or 0) and the current media code. 0 when the answer is final (both 0 when no
/// recorder has the letter); anything else means ask again later. E_FAIL without touching
/// the outputs for a null output, letter 0 or a context that is not ready.
[[nodiscard]] HResult ScanDriveMedia(ImapiContext& imapi, wchar_t letter,
                                     uint32_t* supportedMediaMask, uint32_t* currentMediaCode);

/// Binds the context's recorder and writer to the drive with `letter` for media `mediaCode`
/// (1 to 19). True when bound.
[[nodiscard]] bool BindRecorder(ImapiContext& imapi, wchar_t letter, uint32_t mediaCode);

/// One poll of the disc in the bound drive: a MEDIA_... verdict.
[[nodiscard]] uint32_t CheckInsertedMedia(ImapiContext& imapi, const RunContext& context);

}  // namespace kestrune
