// A library that does nothing, beside the test programs: the one a user could plant beside an
// elevated program for it to load by name.
#include "platform/win32/windows_support.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
