// disc_transcript.exe: a burn scenario through the Windows disc service (IMAPI2 by late
// binding) into the fake IMAPI2 server, written as the transcript the Linux build writes
// against the simulated machine (sim/disc_transcript_main.cpp).
//
//   disc_transcript.exe SCENARIO IMAGE
#include "platform/win32/windows_support.h"

#include <objbase.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_disc_service.h"
#include "testing/disc_transcript.h"
#include "testing/win32/fake_imapi2/fake_imapi2_server.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: disc_transcript SCENARIO IMAGE\n");
    return 2;
  }
  const std::wstring wideName = argv[1];
  const auto* scenario =
      kestrune::testing::FindDiscScenario(kestrune::windows::NarrowText(wideName, CP_UTF8));
  if (scenario == nullptr) {
    std::fprintf(stderr, "no such scenario\n");
    return 2;
  }
  // As the program: the multithreaded apartment, so IMAPI2 may call back on its own threads.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int status = 0;
  {
    kestrune::fake_imapi2::FakeImapiServer server;
    if (!server.ok() || !server.Configure({server.ScenarioRecorder(*scenario)})) {
      std::fprintf(stderr, "fake IMAPI2 server: %s\n", server.error().c_str());
      status = 1;
    } else {
      kestrune::platform::win32::Win32DiscService service;
      for (const auto& line : kestrune::testing::BurnTranscript(service, argv[2], *scenario))
        std::printf("%s\n", line.c_str());
    }
  }
  CoUninitialize();
  return status;
}
