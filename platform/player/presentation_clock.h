// When each decoded picture is to be presented: at the pace of its time
// stamp, not of its arrival, so that the feed's 10 ms steps and the
// network's jitter do not reach the screen. The clock maps time stamps to the
// caller's milliseconds through an offset that follows the earliest recent
// arrivals plus a small margin, moves by at most kSlewMs a picture (a rate
// change nobody sees), and starts afresh when the stream's clock jumps or
// pictures come later than the margin absorbs.
#pragma once

#include <array>
#include <cstdint>

namespace player {

class PresentationClock {
 public:
  // Margin over the earliest recent arrival: covers the feed's 10 ms steps
  // and +-15 ms of network jitter.
  static constexpr double kMarginMs = 40;
  // No picture is held longer than this after it was decoded.
  static constexpr double kMaxHoldMs = 80;
  // Offset change a picture at most: 1 ms in 40 is a 2.5 % rate change.
  static constexpr double kSlewMs = 1;
  // A time stamp step backwards or longer than this is a new clock (a
  // reconnection, a camera restart).
  static constexpr double kJumpMs = 1000;
  // Arrivals the earliest is taken over: 2 s at 25 pictures/s.
  static constexpr int kWindow = 50;

  // The time (caller's clock, ms) at which a picture with time stamp pts
  // (90 kHz, 33 bits, negative for none) that was decoded at nowMs is due;
  // between nowMs and nowMs + kMaxHoldMs.
  double Due(int64_t pts, double nowMs);
  // Whether a picture with time stamp pts comes after a later one of the
  // same clock (less than kJumpMs behind the last): shown, it would step back.
  bool Behind(int64_t pts) const;
  // Time stamps run at `speed` times real time from the next picture on
  // (a change starts the clock afresh).
  void SetSpeed(double speed);

 private:
  void Anchor(double ptsMs, double nowMs);
  // pts (33 bits) unwrapped against the last time stamp.
  int64_t Unwrapped(int64_t pts) const;

  bool anchored_ = false;
  int64_t lastPts_ = 0;      // 90 kHz, unwrapped
  double offsetMs_ = 0;      // due time minus time stamp
  std::array<double, kWindow> transits_{};  // arrival minus time stamp, ms; a ring
  int transitCount_ = 0;     // entries of transits_ in use
  int nextTransit_ = 0;      // where the next one goes
  double speed_ = 1;         // stream seconds per real second
};

}  // namespace player
