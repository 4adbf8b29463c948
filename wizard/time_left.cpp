#include "wizard/time_left.h"

#include <algorithm>
#include <cmath>

namespace kestrune {

void TimeLeftEstimator::Reset() {
  samples_.clear();
  shown_.reset();
  anchorMs_ = 0;
  anchorSeconds_ = 0;
  cappedSinceMs_.reset();
}

void TimeLeftEstimator::Note(uint64_t nowMs, uint64_t done, uint64_t total) {
  // A step that went back (a new pass, a clock that went back) starts over.
  if (!samples_.empty() && (done < samples_.back().done || nowMs < samples_.back().ms)) Reset();
  samples_.push_back({nowMs, done});
  while (samples_.size() > 2 && nowMs - samples_[1].ms >= windowMs_) samples_.pop_front();

  const Sample& first = samples_.front();
  const uint64_t spanMs = nowMs - first.ms;
  if (spanMs < warmUpMs_ || done <= first.done) return;
  const double rate = static_cast<double>(done - first.done) * 1000.0 / static_cast<double>(spanMs);
  const uint64_t remaining = total > done ? total - done : 0;
  double seconds = static_cast<double>(remaining) / rate;
  // The lowest time left shown so far, counted down since: the figure may rise above it by
  // the noise only. Once a whole window has said more, the step really is slower: the new
  // figure stands.
  const double anchor =
      shown_ ? std::max(0.0, anchorSeconds_ - static_cast<double>(nowMs - anchorMs_) / 1000.0)
             : seconds;
  const double cap = anchor + std::max(2.0, anchor * kNoise);
  if (!shown_ || seconds <= anchor) {
    anchorSeconds_ = seconds;
    anchorMs_ = nowMs;
    cappedSinceMs_.reset();
  } else if (seconds > cap) {
    if (!cappedSinceMs_) cappedSinceMs_ = nowMs;
    if (nowMs - *cappedSinceMs_ >= windowMs_) {
      anchorSeconds_ = seconds;
      anchorMs_ = nowMs;
      cappedSinceMs_.reset();
    } else {
      seconds = cap;
    }
  }
  shown_ = Estimate{rate, static_cast<uint64_t>(std::ceil(seconds))};
}

}  // namespace kestrune
