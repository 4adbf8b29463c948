#pragma once

#include <cstdint>
#include <string>

#include "engine/job_steps.h"
#include "platform/power_requests.h"
#include "platform/standard_output.h"
#include "platform/volume_info.h"
#include "platform/window_port.h"
#include "verify/check_progress.h"
#include "verify/compare_progress.h"

namespace kestrune {

/// Posted straight to the Write page (`RunContext::writePageWnd`) when the MD5 check of a USB
/// drive starts, with wParam 0 and lParam kCheckStarting: the page shows its indeterminate
/// "Checking files" display. Then about once a second while Sabrel reads, and once more when
/// it has ended, with the check's progress: wParam the KiB to read in all (never 0), lParam
/// the KiB read so far (see CheckProgressMessage).
inline constexpr uint32_t WM_CHECK_PROGRESS = 0x9208;
inline constexpr intptr_t kCheckStarting = 0xfffe;

/// The checks after writing, on the worker thread: the comparison of a written disc or USB
/// drive with a fresh 7-Zip unpacking of the images, and the MD5 check of a USB drive with
/// Harlune and Sabrel. Everything else comes from the worker: the run context, the carried
/// tools, the stop event and the runs of child programs (so the stop event can end them).
///
/// The image folder (the folder of the first image, often the user's Downloads or Desktop)
/// is the user's: the steps never run, read back or delete anything there but the comparison
/// folder "tempCompareFiles", which exists only while a comparison runs, and which is never
/// entered or removed when it is a link or a file. The carried tools run from the run's
/// private work area (RunContext::workArea), and the MD5 check copies, converts and checks the
/// drive's list in a fresh folder inside it, so a list, a tool or a program library the user
/// or another program put into the image folder is never run or checked.
///
/// Construct one for the program's lifetime and hand it to the worker (WorkerServices::checks).
class VerificationJobSteps final : public VerificationSteps {
 public:
  /// `volumes` gives the medium's root for the target drive letter; `windows` carries the
  /// progress posts; `power` keeps the computer awake during a disc comparison; `output`
  /// receives the comparison's one line about a file it cannot open.
  VerificationJobSteps(platform::VolumeInfo& volumes, platform::WindowPort& windows,
                       platform::PowerRequests& power, platform::StandardOutput& output);

  /// RESULT_STOPPED when the stop event is already set (then nothing else happens);
  /// RESULT_OK when every file of the unpacked image is on the disc with the same bytes;
  /// RESULT_COMPARE_MISMATCH otherwise, also for a disc number without an image, an
  /// unpacking that failed, was stopped or yielded no file.
  uint32_t RunDiscCompare(CVantorThread& worker, uint32_t disc) override;

  /// Copies "recovery\oem\MD5_OEM_RCV_Partition.txt" from the drive into a fresh folder of
  /// the work area, converts it there with Harlune ("USB") and has Sabrel check every listed
  /// file: RESULT_OK, RESULT_STOPPED when the stop event ended Sabrel, RESULT_CHECK_FAILED for
  /// anything else (no list on the drive, a copy or conversion that failed, a file that does
  /// not match). No list from an earlier run can be checked in place of the new one.
  uint32_t RunUsbMd5Check(CVantorThread& worker) override;

  /// Unpacks every image into the comparison folder and compares that tree with the drive:
  /// RESULT_OK, RESULT_COMPARE_MISMATCH, or RESULT_WORK_DRIVE_FULL when the unpacking failed
  /// because the image folder's disk filled up (RunContext::problem names that disk).
  uint32_t RunUsbCompare(CVantorThread& worker) override;

 private:
  struct Place;

  /// The work folder and the medium root of the run context; false when either is unknown.
  bool Locate(CVantorThread& worker, Place& place);
  /// Unpacks images [first, last) of the run context into the comparison folder and
  /// compares it with the medium; RESULT_OK or RESULT_COMPARE_MISMATCH.
  uint32_t UnpackAndCompare(CVantorThread& worker, const Place& place, uint32_t first,
                            uint32_t last, uint64_t totalBytes);
  bool Unpack(CVantorThread& worker, const Place& place, const std::wstring& image);
  uint32_t CheckWithSabrel(CVantorThread& worker, const Place& place, const std::wstring& check);

  platform::VolumeInfo& volumes_;
  platform::WindowPort& windows_;
  platform::PowerRequests& power_;
  platform::StandardOutput& output_;
  /// The comparison's progress record; one comparison runs at a time, on the worker.
  CompareProgress progress_;
  /// The last unpacking failed with the image folder's disk full (worker thread only).
  bool unpackFilledDisk_ = false;
};

}  // namespace kestrune
