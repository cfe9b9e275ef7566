#include "platform/player/presentation_clock.h"

#include <algorithm>

namespace player {
namespace {

constexpr double kTicksPerMs = 90.0;  // PES time stamps
constexpr int64_t kPtsWrap = int64_t{1} << 33;

}  // namespace

void PresentationClock::Anchor(double ptsMs, double nowMs) {
  anchored_ = true;
  offsetMs_ = nowMs - ptsMs + kMarginMs;
  transitCount_ = 0;
  nextTransit_ = 0;
}

void PresentationClock::SetSpeed(double speed) {
  if (speed != speed_) {
    speed_ = speed;
    anchored_ = false;
  }
}

int64_t PresentationClock::Unwrapped(int64_t pts) const {
  // The 33-bit stamp wraps every 26.5 hours.
  int64_t step = (pts - lastPts_) % kPtsWrap;
  if (step > kPtsWrap / 2) {
    step -= kPtsWrap;
  } else if (step < -kPtsWrap / 2) {
    step += kPtsWrap;
  }
  return lastPts_ + step;
}

bool PresentationClock::Behind(int64_t pts) const {
  if (!anchored_ || pts < 0) {
    return false;
  }
  const double backMs = static_cast<double>(lastPts_ - Unwrapped(pts)) / kTicksPerMs;
  return backMs > 0 && backMs <= kJumpMs;
}

double PresentationClock::Due(int64_t pts, double nowMs) {
  if (pts < 0) {
    return nowMs;  // nothing to pace by
  }
  if (anchored_) {
    pts = Unwrapped(pts);
  }
  const double ptsMs = static_cast<double>(pts) / kTicksPerMs / speed_;
  const double stepMs = static_cast<double>(pts - lastPts_) / kTicksPerMs / speed_;
  lastPts_ = pts;
  if (!anchored_ || stepMs < 0 || stepMs > kJumpMs) {
    Anchor(ptsMs, nowMs);
  }
  transits_[static_cast<size_t>(nextTransit_)] = nowMs - ptsMs;
  nextTransit_ = (nextTransit_ + 1) % kWindow;
  transitCount_ = std::min(transitCount_ + 1, kWindow);
  const double earliest =
      *std::min_element(transits_.begin(), transits_.begin() + transitCount_);
  const double target = earliest + kMarginMs;
  offsetMs_ += std::clamp(target - offsetMs_, -kSlewMs, kSlewMs);
  double due = ptsMs + offsetMs_;
  if (due < nowMs - kMarginMs) {
    // Later than the margin absorbs (the stream's clock runs slower than
    // ours, or the path got longer): start afresh from this picture.
    Anchor(ptsMs, nowMs);
    due = ptsMs + offsetMs_;
  }
  return std::clamp(due, nowMs, nowMs + kMaxHoldMs);
}

}  // namespace player
