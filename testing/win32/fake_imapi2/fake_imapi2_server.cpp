#include "testing/win32/fake_imapi2/fake_imapi2_server.h"

namespace kestrune::fake_imapi2 {
namespace {

typedef HRESULT(WINAPI* RegistrationFunction)();

std::wstring ServerPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"fake_imapi2.dll";
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

FakeImapiServer::FakeImapiServer() {
  module_ = LoadLibraryW(ServerPath().c_str());
  if (module_ == nullptr) {
    error_ = "cannot load fake_imapi2.dll beside the test program";
    return;
  }
  defaultRecorder_ = Export<FakeImapiDefaultRecorderFunction>(module_, "FakeImapiDefaultRecorder");
  configure_ = Export<FakeImapiConfigureFunction>(module_, "FakeImapiConfigure");
  state_ = Export<FakeImapiRecorderStateFunction>(module_, "FakeImapiRecorderStateOf");
  readDisc_ = Export<FakeImapiReadDiscFunction>(module_, "FakeImapiReadDisc");
  const auto registerServer = Export<RegistrationFunction>(module_, "DllRegisterServer");
  if (!defaultRecorder_ || !configure_ || !state_ || !readDisc_ || !registerServer) {
    error_ = "fake_imapi2.dll lacks an export";
    return;
  }
  const HRESULT hr = registerServer();
  if (FAILED(hr)) error_ = "DllRegisterServer failed: " + std::to_string(hr);
}

FakeImapiServer::~FakeImapiServer() {
  if (module_ == nullptr) return;
  if (const auto unregister = Export<RegistrationFunction>(module_, "DllUnregisterServer"))
    unregister();
  // COM keeps the server loaded for the objects it may still hold; so does this reference.
}

FakeImapiRecorder FakeImapiServer::DefaultRecorder() const {
  FakeImapiRecorder recorder{};
  if (defaultRecorder_ != nullptr) defaultRecorder_(&recorder);
  recorder.writeBytesPerSecond = testing::kScenarioWriteBytesPerSecond;
  recorder.eventIntervalMs = testing::kScenarioEventIntervalMs;
  return recorder;
}

FakeImapiRecorder FakeImapiServer::ScenarioRecorder(const testing::DiscScenario& scenario) const {
  FakeImapiRecorder recorder = DefaultRecorder();
  recorder.hasDisc = scenario.hasDisc;
  recorder.discMediaType = scenario.discMediaType;
  recorder.discState = scenario.discState == "appendable" ? kFakeDiscAppendable
                       : scenario.discState == "closed"   ? kFakeDiscClosed
                                                          : kFakeDiscBlank;
  recorder.discDamaged = scenario.discDamaged;
  SetField(recorder.failCall, std::wstring(scenario.failCall.begin(), scenario.failCall.end()));
  recorder.failCode = scenario.failCode;
  return recorder;
}

bool FakeImapiServer::Configure(const std::vector<FakeImapiRecorder>& recorders) const {
  return configure_ != nullptr &&
         SUCCEEDED(configure_(recorders.data(), static_cast<uint32_t>(recorders.size())));
}

FakeImapiRecorderState FakeImapiServer::State(uint32_t index) const {
  FakeImapiRecorderState state{};
  if (state_ != nullptr) state_(index, &state);
  return state;
}

std::vector<uint8_t> FakeImapiServer::DiscImage(uint32_t index) const {
  if (readDisc_ == nullptr) return {};
  std::vector<uint8_t> image(static_cast<size_t>(State(index).imageBytes));
  image.resize(static_cast<size_t>(readDisc_(index, image.data(), image.size())));
  return image;
}

}  // namespace kestrune::fake_imapi2
