#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace kestrune {

/// Speed and time left of one step of a write (writing, verifying, unpacking, checking,
/// comparing), from a moving window of the bytes it has done.
///
/// Nothing is shown until the window spans `warmUpMs` (the first seconds of a step say little:
/// the recorder spins up, 7-Zip reads its headers). A figure may lie above the lowest one
/// shown (counted down since) by no more than the window's noise (`kNoise` of it, at least two
/// seconds): a step that slows down for a moment makes the time left stand still rather than
/// jump back. Only when a whole window has said more is the higher figure shown.
class TimeLeftEstimator {
 public:
  static constexpr double kNoise = 0.1;

  explicit TimeLeftEstimator(uint64_t windowMs = 10'000, uint64_t warmUpMs = 3'000)
      : windowMs_(windowMs), warmUpMs_(warmUpMs) {}

  /// A new step (or a new medium): everything noted so far is forgotten.
  void Reset();
  /// `done` of the step's `total` bytes were done at `nowMs` (a clock in milliseconds).
  void Note(uint64_t nowMs, uint64_t done, uint64_t total);

  struct Estimate {
    double bytesPerSecond = 0;
    uint64_t secondsLeft = 0;
  };
  /// The step's speed and time left once there is enough to go by.
  std::optional<Estimate> Current() const { return shown_; }

 private:
  struct Sample {
    uint64_t ms;
    uint64_t done;
  };
  uint64_t windowMs_;
  uint64_t warmUpMs_;
  std::deque<Sample> samples_;
  std::optional<Estimate> shown_;
  uint64_t anchorMs_ = 0;
  double anchorSeconds_ = 0;
  std::optional<uint64_t> cappedSinceMs_;
};

}  // namespace kestrune
