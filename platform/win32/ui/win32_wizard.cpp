#include "platform/win32/windows_support.h"

#include "platform/win32/ui/win32_wizard.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/win32/ui/win32_script_front_end.h"
#include "platform/win32/ui/win32_toolkit.h"
#include "platform/win32/ui/win32_transcript.h"
#include "platform/win32/win32_ports.h"
#include "platform/win32/win32_power_requests.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui_language.h"
#include "platform/win32/win32_volume_naming.h"
#include "wizard/product_assembly.h"
#include "wizard/wizard_startup.h"

namespace kestrune::platform::win32 {
namespace {

std::wstring Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value == nullptr ? std::wstring() : std::wstring(value);
}

std::chrono::milliseconds ScriptTimeout() {
  const std::wstring value = Environment(L"KESTRUNE_UI_TIMEOUT");
  wchar_t* end = nullptr;
  const double seconds = value.empty() ? 0 : std::wcstod(value.c_str(), &end);
  if (value.empty() || *end != L'\0' || seconds <= 0) return std::chrono::seconds(120);
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::unique_ptr<Transcript> OpenTranscript() {
  const std::wstring path = Environment(L"KESTRUNE_UI_LOG");
  if (path.empty()) return std::make_unique<Transcript>(stderr, false);
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<Transcript>(file, true);
}

}  // namespace

void Win32WizardBranch::Run(RunContext& context) {
  Win32UiLanguage system;
  const Language language = ChooseLanguage(system);
  SetCurrentLanguage(language);

  Win32Toolkit toolkit(module_, language);
  Win32Ports ports;
  Win32VolumeNaming naming;
  Win32PowerRequests power;
  Win32StandardOutput output;
  ProductServices product{
      {ports.diskInventory, ports.deviceTree, ports.osVersion, ports.volumeInfo, naming},
      toolkit.ports().post,
      power,
      output};
  ProductAssembly assembly(product);
  WizardStartupServices services{
      toolkit.ports(), ports.discService, tools_, power, ports.userRegistry, output, language};
  WizardStartup startup(services, assembly);

  std::unique_ptr<Transcript> transcript;
  std::unique_ptr<ScriptFrontEnd> script;
  if (Environment(L"KESTRUNE_UI") == L"script") {
    transcript = OpenTranscript();
    if (!transcript) {
      exitStatus_ = 2;
      return;
    }
    ScriptFrontEnd::Options options;
    options.timeout = ScriptTimeout();
    options.snapshotFolder = Environment(L"KESTRUNE_UI_SNAPSHOTS");
    script = std::make_unique<ScriptFrontEnd>(toolkit, *transcript, options);
    toolkit.SetObserver(script.get());
    script->Start(GetStdHandle(STD_INPUT_HANDLE));
  }

  startup.Run(context);

  if (script) {
    script->Stop();
    toolkit.SetObserver(nullptr);
    if (script->Failed()) exitStatus_ = 2;
  }
  if (startup.WorkerAbandoned()) {
    // The worker still uses what this scope owns: end here, without unwinding.
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitStatus_));
  }
}

}  // namespace kestrune::platform::win32
