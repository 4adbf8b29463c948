#pragma once

#include <cstdint>

namespace kestrune {

/// Messages between the pages, the sheet and the worker. All are posted, never sent.
inline constexpr uint32_t WM_JOB_REQUEST = 0x9001;  ///< wParam job code, lParam job argument
inline constexpr uint32_t WM_JOB_END = 0x9002;      ///< wParam step code, lParam result code
inline constexpr uint32_t WM_JOB_START = 0x9003;    ///< wParam step code, lParam 0
/// Posted by the write-progress sink to the sheet, which passes it on to the showing page:
/// wParam the write action (platform::imapi::kAction...), lParam 0.
inline constexpr uint32_t WM_WRITE_ACTION = 0x9101;
/// Ends a thread's message loop (the value of WM_QUIT).
inline constexpr uint32_t kQuitMessage = 0x0012;

/// Job codes (wParam of WM_JOB_REQUEST).
inline constexpr uint32_t JOB_PREPARE = 0x1050;
inline constexpr uint32_t JOB_WRITE_DISC_1 = 0x1061;
inline constexpr uint32_t JOB_WRITE_DISC_9 = 0x1069;
inline constexpr uint32_t JOB_WRITE_USB = 0x1070;
inline constexpr uint32_t JOB_FINISH = 0x1090;
inline constexpr uint32_t JOB_QUIT = 0x10a0;
/// JOB_WRITE_DISC_n. Its argument: low 16 bits the disc number, high 16 bits the set size.
constexpr uint32_t JobWriteDisc(uint32_t disc) { return 0x1060 + disc; }

/// Step codes (wParam of WM_JOB_START and WM_JOB_END).
inline constexpr uint32_t STEP_PREPARE = 0x9050;
inline constexpr uint32_t STEP_DISC_JOB = 0x9060;
inline constexpr uint32_t STEP_USB_JOB = 0x9070;
inline constexpr uint32_t STEP_FINISH = 0x9090;
inline constexpr uint32_t STEP_QUIT = 0x90a0;
inline constexpr uint32_t STEP_UNKNOWN = 0x9fff;
inline constexpr uint32_t STEP_BURN = 0xA060;
inline constexpr uint32_t STEP_DISC_COMPARE = 0xA061;
inline constexpr uint32_t STEP_USB_WRITE = 0xA070;
/// Progress of STEP_USB_WRITE, posted as WM_JOB_END with lParam = per mille (0 to 990).
inline constexpr uint32_t STEP_USB_WRITE_PROGRESS = 0xA071;
inline constexpr uint32_t STEP_USB_MD5_CHECK = 0xA072;
inline constexpr uint32_t STEP_USB_COMPARE = 0xA073;

/// Result codes (lParam of WM_JOB_END; the return values of the steps).
inline constexpr uint32_t RESULT_OK = 0;
inline constexpr uint32_t RESULT_STOPPED = 0xffff;
inline constexpr uint32_t RESULT_STEP_FAILED = 0x20000009;
inline constexpr uint32_t RESULT_NO_SOURCES = 0x2000000a;
inline constexpr uint32_t RESULT_CHECK_FAILED = 0x2000000b;
inline constexpr uint32_t RESULT_COMPARE_MISMATCH = 0x2000000c;
inline constexpr uint32_t RESULT_BURN_FAILED = 0x20040001;

/// Failures of the USB job that leave the stick as it was (every check that can be made is
/// made before the wipe), and one that is no fault of the stick. The run context's problem
/// fields name what the Write page's message needs.
inline constexpr uint32_t RESULT_USB_DRIVE_CHANGED = 0x2000000d;   ///< not the disk confirmed
inline constexpr uint32_t RESULT_USB_TOOLS_FAILED = 0x2000000e;    ///< 7-Zip cannot be run
inline constexpr uint32_t RESULT_USB_NOT_AN_ARCHIVE = 0x2000000f;  ///< an image does not open
inline constexpr uint32_t RESULT_USB_SET_TOO_LARGE = 0x20000010;   ///< more than the partition
inline constexpr uint32_t RESULT_USB_FILE_TOO_LARGE = 0x20000011;  ///< a file of 4 GiB or more
/// Not enough free space on the computer's disk for the comparison's unpacking.
inline constexpr uint32_t RESULT_WORK_DRIVE_TOO_SMALL = 0x20000012;
/// The computer's disk filled up while the comparison unpacked (the stick was not judged).
inline constexpr uint32_t RESULT_WORK_DRIVE_FULL = 0x20000013;

}  // namespace kestrune
