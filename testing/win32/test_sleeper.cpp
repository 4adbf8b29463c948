// A console program for the launcher tests: sleeps the given seconds, then exits with the
// given code.
#include "platform/win32/windows_support.h"

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc > 1) Sleep(static_cast<DWORD>(std::atoi(argv[1])) * 1000);
  return argc > 2 ? std::atoi(argv[2]) : 0;
}
