// Time stamps of the remuxed stream, in 90 kHz units. RTSP packets read
// without stream probing carry no dts and the first carries no pts; the TS
// muxer needs dts = pts, strictly increasing, also across reconnections.
#pragma once

#include <cstdint>

namespace device {

class OutputClock {
 public:
  // First stamp of the stream: one second, so that PCR (dts minus the muxer's
  // delay) never goes below zero.
  static constexpr int64_t kFirstStamp = 90000;
  // Step where the input gives no time: one frame at 25 frames/s.
  static constexpr int64_t kNominalStep = 3600;
  // A jump of the input pts further than this between two packets (a camera
  // that reset its clock, or sent garbage) takes a new origin, as a new
  // connection does: the stamps go on one nominal step later instead of
  // leaping, and their arithmetic stays far from overflow.
  static constexpr int64_t kMaxJump = 60 * 90000;  // one minute
  // A step back further than this (more than any reordering of B-frames) is
  // a camera that restarted its clock: a new origin too, so that the stamps
  // go on at the stream's pace instead of crawling until the input catches up.
  static constexpr int64_t kMaxBackStep = 90000;  // one second

  // A new connection: its time stamps start from a new origin, continued one
  // nominal step after the last stamp given out.
  void Restart() { m_haveOrigin = false; }

  // The stamp for a packet whose input pts is `inputPts90k` (in 90 kHz), or
  // none (hasPts false).
  int64_t Next(bool hasPts, int64_t inputPts90k);

 private:
  bool m_started = false;     // any stamp given out yet
  int64_t m_last = 0;         // last stamp given out
  bool m_haveOrigin = false;  // this connection's origin taken
  int64_t m_originIn = 0;     // input pts at the origin
  int64_t m_lastIn = 0;       // input pts of the last packet that had one, once m_haveOrigin
  int64_t m_originOut = 0;    // stamp given at the origin
};

}  // namespace device
