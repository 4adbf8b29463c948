#pragma once

#include <cstdint>

#include "engine/job_protocol.h"
#include "verify/compare_progress.h"
#include "verify/verification_steps.h"
#include "wizard/dialog_templates.h"

namespace kestrune {

/// The wizard's own messages. The others it handles are defined with their senders: the
/// worker's and the burn's WM_WRITE_ACTION in engine/job_protocol.h, the comparison's in
/// verify/compare_progress.h, the USB check's WM_CHECK_PROGRESS in verify/verification_steps.h.
/// All are posted, never sent.

/// Sheet -> showing page: wParam the event (kDeviceEvent...), lParam a drive-letter mask.
inline constexpr uint32_t WM_DEVICE_EVENT = 0x9201;
/// Drive page -> itself: the ticks of the disc list may have changed.
inline constexpr uint32_t WM_DISC_SELECTION = 0x9202;
/// Write page -> prompt dialog (and the dialog to itself): wParam 0 for the first prompt after
/// preparing, 1 otherwise; lParam disc count in bits 0-7 and disc number in bits 8-15, or 0.
inline constexpr uint32_t WM_PROMPT_DISC = 0x9203;
/// Prompt dialog -> sheet -> Write page: wParam 1 a blank disc is ready, 0 the user cancelled.
inline constexpr uint32_t WM_PROMPT_DISC_DONE = 0x9204;
/// Drive page -> itself: rebuild the drive list.
inline constexpr uint32_t WM_DRIVE_REFRESH = 0x9206;
/// Anyone -> sheet: come to the foreground.
inline constexpr uint32_t WM_BRING_TO_FRONT = 0x9207;

/// wParam of WM_DEVICE_EVENT.
inline constexpr uintptr_t kDeviceEventVolumeArrived = 1;
inline constexpr uintptr_t kDeviceEventVolumeRemoved = 2;
inline constexpr uintptr_t kDeviceEventMediaArrived = 3;
inline constexpr uintptr_t kDeviceEventMediaRemoved = 4;
inline constexpr uintptr_t kDeviceEventNodesChanged = 5;

}  // namespace kestrune
