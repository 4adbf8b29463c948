#pragma once

namespace kestrune::platform {

/// What the process prepares before it reads its command line.
class ProcessSetup {
 public:
  virtual ~ProcessSetup() = default;

  /// Windows: registers the classic common controls (ICC 0xFF), joins the multithreaded COM
  /// apartment, lets any process set the foreground window (so child tools and the downloader
  /// can come to the front) and sets the application user model id. Failures are ignored, as
  /// none of them stops the program from working.
  virtual void Prepare() = 0;
};

}  // namespace kestrune::platform
