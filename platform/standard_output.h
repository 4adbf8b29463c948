#pragma once

#include <string_view>

namespace kestrune::platform {

/// The process's standard output: the one channel back to the program that started it.
class StandardOutput {
 public:
  virtual ~StandardOutput() = default;

  /// Writes `text` as it is (ASCII, no translation of line ends) and flushes it.
  virtual void Write(std::string_view text) = 0;
};

}  // namespace kestrune::platform
