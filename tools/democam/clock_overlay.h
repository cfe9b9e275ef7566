// Keeps the picture's wall clock current, each frame: its text (local time
// with milliseconds) set before the text overlay draws it, and its strip drawn
// into the picture as it leaves the source.
//
// The strip, for programs that read the picture's time back (a browser test
// reading the web screens' picture): one row of kStripBlocks blocks along the
// bottom of the picture from its left edge, each kStripBlocks-th of the
// picture's width (rounded down) wide and max(8, height / 24) pixels high,
// white (luma 235) for 1 and black (luma 16) for 0, neutral in colour:
//   block 0        always white (where the strip starts)
//   blocks 1..48   the wall clock, milliseconds since 1970-01-01 UTC, modulo
//                  2^48, most significant bit first
//   blocks 49..56  the sum of those six bytes, modulo 256, most significant first
//   block 57       always black
// Read each block at its centre; a frame whose sum does not match is damaged.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

namespace democam {

inline constexpr int kStripBlocks = 58;

// Connects to the factory's media-configure signal; every media it builds gets
// buffer probes on its text overlay (kClockElement) and strip (kStripElement),
// where it has them.
void AttachClockOverlay(GstRTSPMediaFactory* factory);

}  // namespace democam
