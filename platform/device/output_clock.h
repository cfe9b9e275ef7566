// Presentation times of the remuxed stream, in 90 kHz units: each access
// unit's RTP time, from an origin that a new connection (or a camera clock
// that leaps or steps back) takes afresh, so that the times go on where the
// last ones ended instead of jumping. The input's order is kept: with
// B-frames the times come in decode order, not increasing; DecodeTimeline
// derives the decode times beside them.
#pragma once

#include <cstdint>

namespace device {

class OutputClock {
 public:
  // First stamp of the stream: one second, so that neither PCR (decode time
  // minus the muxer's delay) nor a first decode time ahead of the reordering
  // (at most 16 pictures of 40 ms) goes below zero.
  static constexpr int64_t kFirstStamp = 90000;
  // Step where the input gives no time, and between the last stamp of one
  // origin and the first of the next: one frame at 25 frames/s.
  static constexpr int64_t kNominalStep = 3600;
  // A jump of the input pts further than this between two packets (a camera
  // that reset its clock, or sent garbage) takes a new origin, as a new
  // connection does, and keeps the arithmetic far from overflow.
  static constexpr int64_t kMaxJump = 60 * 90000;  // one minute
  // A step back further than this (more than any reordering of B-frames) is
  // a camera that restarted its clock: a new origin too, so that the stamps
  // go on at the stream's pace.
  static constexpr int64_t kMaxBackStep = 90000;  // one second

  // A new connection: its time stamps start from a new origin, continued one
  // nominal step after the latest stamp given out.
  void Restart() { m_haveOrigin = false; }

  // The stamp for a packet whose input pts is `inputPts90k` (in 90 kHz), or
  // none (hasPts false).
  int64_t Next(bool hasPts, int64_t inputPts90k);
  // The last Next began a new origin: the times before it are of another timeline.
  bool TookNewOrigin() const { return m_tookNewOrigin; }

 private:
  bool m_started = false;     // any stamp given out yet
  int64_t m_latest = 0;       // latest (largest) stamp given out
  bool m_haveOrigin = false;  // this connection's origin taken
  bool m_tookNewOrigin = false;
  int64_t m_originIn = 0;     // input pts at the origin
  int64_t m_lastIn = 0;       // input pts of the last packet that had one, once m_haveOrigin
  int64_t m_originOut = 0;    // stamp given at the origin
};

}  // namespace device
