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

/// Media code n (IMAPI2's physical media types, 20 for a USB drive) is named by this string
/// resource; a code without a string (12) has an empty name.
constexpr uint32_t MediaNameId(uint32_t mediaCode) { return 500 + mediaCode; }

/// The client name the program gives the writer: other programs that want the drive while a
/// disc is written are told this name.
inline constexpr wchar_t kDiscClientName[] = L"Kestrix";

// Every function below walks the recorders in the service's order with a temporary recorder
// object per recorder; the first failing call ends the walk, and the remaining recorders are
// passed over without any further call. A recorder is named by the first character of its
// first three-character volume path (its drive root, "E:\"); a recorder mounted only in
// folders has no letter.

/// Replaces `entries` with one list entry per usable recorder ("( E:\ ) VENDOR PRODUCT ",
/// vendor and product exactly as the drive gives them), in the service's order. Recorders
/// without a drive root and virtual drives (a product id containing "VIRTUAL" in any case)
/// are left out. True when every call made succeeded.
[[nodiscard]] bool EnumRecorders(ImapiContext& imapi, std::vector<std::wstring>& entries);

/// What the drive with `letter` can write and what disc it holds: the media mask it can use
/// (0x800 for a dual-layer DVD-R in a drive that writes them, else 0) and the current media
/// code. 0 when the answer is final (both 0 when no recorder has the letter); anything else
/// means ask again later. E_FAIL without touching the outputs for a null output, letter 0
/// or a context that is not ready. Borrows `format` for the scan and gives it back its bound
/// recorder afterwards.
[[nodiscard]] HResult ScanDriveMedia(ImapiContext& imapi, wchar_t letter,
                                     uint32_t* supportedMediaMask, uint32_t* currentMediaCode);

/// Binds the context's recorder and writer to the drive with `letter` for media `mediaCode`
/// (1 to 19). True when bound. Binding the letter that is already bound keeps that binding;
/// another letter rebinds (the user went back and chose another drive), and a failed rebind
/// leaves nothing bound.
[[nodiscard]] bool BindRecorder(ImapiContext& imapi, wchar_t letter, uint32_t mediaCode);

/// One poll of the disc in the bound drive: a MEDIA_... verdict. MEDIA_RETRY while a disc
/// step of the worker uses the writer.
[[nodiscard]] uint32_t CheckInsertedMedia(ImapiContext& imapi, const RunContext& context);

}  // namespace kestrune
