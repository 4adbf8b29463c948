#pragma once

// For tests: the fake IMAPI2 server (fake_imapi2.dll beside the test program) loaded,
// registered in the wine prefix for as long as the object lives, and its controls.

#include "platform/win32/windows_support.h"

#include <cstdint>
#include <string>
#include <vector>

#include "testing/disc_transcript.h"
#include "testing/win32/fake_imapi2/fake_imapi2_control.h"

namespace kestrune::fake_imapi2 {

class FakeImapiServer {
 public:
  /// Loads and registers the server; `error()` says why when `ok()` is false.
  FakeImapiServer();
  /// Unregisters the classes (a later CoCreateInstance fails as on a system without IMAPI2).
  ~FakeImapiServer();
  FakeImapiServer(const FakeImapiServer&) = delete;
  FakeImapiServer& operator=(const FakeImapiServer&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  /// The default machine's recorder (E:, a blank DVD-R DL), at the scenarios' speed.
  FakeImapiRecorder DefaultRecorder() const;
  /// The default recorder as `scenario` describes it.
  FakeImapiRecorder ScenarioRecorder(const testing::DiscScenario& scenario) const;
  bool Configure(const std::vector<FakeImapiRecorder>& recorders) const;
  FakeImapiRecorderState State(uint32_t index) const;
  /// The image on the disc in recorder `index` (empty without a written disc).
  std::vector<uint8_t> DiscImage(uint32_t index) const;

 private:
  HMODULE module_ = nullptr;
  std::string error_;
  FakeImapiDefaultRecorderFunction defaultRecorder_ = nullptr;
  FakeImapiConfigureFunction configure_ = nullptr;
  FakeImapiRecorderStateFunction state_ = nullptr;
  FakeImapiReadDiscFunction readDisc_ = nullptr;
};

/// Copies `text` into a fixed field, cut to fit.
template <size_t N>
void SetField(wchar_t (&field)[N], const std::wstring& text) {
  const size_t length = text.size() < N ? text.size() : N - 1;
  text.copy(field, length);
  field[length] = L'\0';
}

}  // namespace kestrune::fake_imapi2
