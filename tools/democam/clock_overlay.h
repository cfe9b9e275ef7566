// Keeps the picture's wall clock current: each frame, before the text overlay
// draws it, its text is set to the local time with milliseconds.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

namespace democam {

// Connects to the factory's media-configure signal; every media it builds gets
// a buffer probe on its text overlay (kClockElement).
void AttachClockOverlay(GstRTSPMediaFactory* factory);

}  // namespace democam
