// The planted library (planted_marker.h): marks that a process loaded it.
#include "testing/win32/planted_marker.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) kestrune::testing::LeaveMark(instance);
  return TRUE;
}
