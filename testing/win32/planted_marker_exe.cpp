// The planted program (planted_marker.h): marks that it ran and ends with success, as a tool
// that pretends all went well would.
#include "testing/win32/planted_marker.h"

int wmain() {
  kestrune::testing::LeaveMark(nullptr);
  return 0;
}
