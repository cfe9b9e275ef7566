// The web screens' clock: milliseconds since 1970 (UTC) on the same clock as
// the stream's arrival ticks, so that a page can tell how long ago the
// picture it shows arrived. Taken from the wall clock once, then carried on
// by the tick: a wall clock set meanwhile moves nothing already said.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/sys/types.h"

class WebClock {
 public:
  // The wall clock now, against the tick now.
  WebClock();
  // For tests: `wallMs` at `tick`.
  WebClock(int64_t wallMs, DWORD tick);

  // The time of tick `tick`, which lies within 24 days of now (ms since 1970).
  int64_t WallMsOf(DWORD tick) const;
  int64_t NowMs() const;

 private:
  // Ticks from the origin to `now`, unwrapped over the 2^32 wrap.
  int64_t ElapsedMs(DWORD now) const;

  const int64_t m_wallMs;  // wall clock at the origin
  mutable std::mutex m_mutex;
  mutable DWORD m_lastTick;          // tick of the last ElapsedMs, under m_mutex
  mutable int64_t m_elapsedMs = 0;   // ticks from the origin to m_lastTick, under m_mutex
};
