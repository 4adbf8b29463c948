#include "devices/recorders.h"

namespace kestrune {

// Placeholders until the recorder functions are built: no recorder, nothing bound.
bool EnumRecorders(ImapiContext&, std::vector<std::wstring>& entries) {
  entries.clear();
  return false;
}

HResult ScanDriveMedia(ImapiContext&, wchar_t, uint32_t*, uint32_t*) { return platform::kE_FAIL; }

bool BindRecorder(ImapiContext&, wchar_t, uint32_t) { return false; }

uint32_t CheckInsertedMedia(ImapiContext&, const RunContext&) { return MEDIA_RETRY; }

}  // namespace kestrune
