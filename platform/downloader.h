#pragma once

namespace kestrune::platform {

/// The separate downloader program that prepares recovery sets and starts this program.
class Downloader {
 public:
  virtual ~Downloader() = default;

  /// Starts "KestrixDl.exe" shown normally, with no parameters and no working folder
  /// (Linux: the `kestrixdl` program beside this one, when it is installed). False when it
  /// cannot be started; callers report nothing either way.
  [[nodiscard]] virtual bool Start() = 0;
};

}  // namespace kestrune::platform
