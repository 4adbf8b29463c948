#pragma once

#include <cstdint>

// The window-system vocabulary the wizard's controllers speak: message codes, notification
// codes, button and message-box flags. The values are those of Windows, so the Windows
// toolkit forwards its messages unchanged; the names avoid the <windows.h> macros so that
// both can meet in one translation unit.

namespace kestrune::wm {

inline constexpr uint32_t kDestroy = 0x0002;
/// wParam: 1 when the window is being shown, 0 when hidden.
inline constexpr uint32_t kShowWindow = 0x0018;
/// wParam: 1 when the session really ends (shutdown or logoff).
inline constexpr uint32_t kEndSession = 0x0016;
/// lParam: a `const NotifyInfo*`, valid for the call. The result is the notification's answer.
inline constexpr uint32_t kNotify = 0x004E;
/// The first message a dialog, page or sheet window gets; answer 1 (TRUE).
inline constexpr uint32_t kInitDialog = 0x0110;
/// wParam: control id in the low 16 bits, notification code in the high 16 bits.
inline constexpr uint32_t kCommand = 0x0111;
/// wParam: the system command (masked with 0xFFF0, kScClose is the close command).
inline constexpr uint32_t kSysCommand = 0x0112;
/// wParam: the timer's id.
inline constexpr uint32_t kTimer = 0x0113;
/// wParam: the event (kDbt...); lParam: a `const DeviceBroadcast*` or 0, valid for the call.
/// Always answer 1 (TRUE).
inline constexpr uint32_t kDeviceChange = 0x0219;
/// The property sheet's "set wizard buttons": lParam a combination of kWizButton... flags.
inline constexpr uint32_t kSetWizButtons = 0x0470;

inline constexpr uint32_t kScClose = 0xF060;

/// Wizard button flags of kSetWizButtons.
inline constexpr uint32_t kWizButtonBack = 0x1;
inline constexpr uint32_t kWizButtonNext = 0x2;
inline constexpr uint32_t kWizButtonFinish = 0x4;

/// Command notification codes (high word of kCommand's wParam).
inline constexpr uint16_t kButtonClicked = 0;
inline constexpr uint16_t kComboSelChange = 1;

/// kNotify codes.
inline constexpr int32_t kNmClick = -2;
inline constexpr int32_t kNmDblClick = -3;
inline constexpr int32_t kListKeyDown = -155;
/// Sent to the active page when the user presses Next / Back: answer -1 to stay, 0 to move on.
inline constexpr int32_t kPsnWizBack = -206;
inline constexpr int32_t kPsnWizNext = -207;

inline constexpr uint16_t kVkSpace = 0x20;

/// The payload of kNotify.
struct NotifyInfo {
  uint32_t idFrom = 0;  ///< the control that notifies
  int32_t code = 0;     ///< kNm..., kListKeyDown, kPsn...
  int32_t item = -1;    ///< list row of a click, -1 none
  int32_t subItem = 0;  ///< list column of a click
  uint16_t key = 0;     ///< virtual key of kListKeyDown
};

/// Device events of kDeviceChange.
inline constexpr uint32_t kDbtDevNodesChanged = 0x0007;
inline constexpr uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr uint32_t kDbtDevTypVolume = 0x0002;
inline constexpr uint16_t kDbtfMedia = 0x0001;

/// The payload of kDeviceChange (DEV_BROADCAST_VOLUME as far as the wizard reads it).
struct DeviceBroadcast {
  uint32_t deviceType = 0;  ///< kDbtDevTypVolume for a volume
  uint32_t unitMask = 0;    ///< bit n: drive letter 'A' + n
  uint16_t flags = 0;       ///< kDbtfMedia when media rather than a volume came or went
};

/// Command ids of standard buttons, also the answers of message boxes.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

/// Message-box flags.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbButtonsMask = 0xF;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbSetForeground = 0x10000;
inline constexpr uint32_t kMbTopmost = 0x40000;

/// Messages from kFirstAppMessage up are the program's own (worker, sink, pages, dialogs).
inline constexpr uint32_t kFirstAppMessage = 0x9000;

}  // namespace kestrune::wm
