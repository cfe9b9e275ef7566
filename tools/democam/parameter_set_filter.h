// For cameras that put the parameter sets (VPS/SPS/PPS) only in the SDP: a
// buffer probe removes them from the encoded video before it is payloaded.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

namespace democam {

// Connects to the factory's media-configure signal; every media it builds gets
// the probe on the source pad of its video parser (kParameterElement).
void AttachParameterSetFilter(GstRTSPMediaFactory* factory);

}  // namespace democam
