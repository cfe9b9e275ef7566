// What each stage of a player port did, readable while the port plays: for
// benchmarks, tests and a coach's bug report (the port also writes them to
// stderr as one line when its stream is released).
#pragma once

#include <cstdint>

#include "platform/sys/types.h"

namespace player {

struct StageStats {
  uint64_t picturesDecoded = 0;    // pictures out of the decoder
  uint64_t picturesPresented = 0;  // pictures handed to the window's sink
  uint64_t picturesDropped = 0;    // pictures lost in the player: given up by the demuxer,
                                   // refused by the decoder, or passed over on the way to the sink
  uint64_t bytesRefused = 0;       // bytes of PlayM4_InputData calls refused (buffer full)
  uint64_t decodeErrors = 0;       // pictures the decoder refused
  double decodeP50Ms = 0;          // decoder time per picture, median
  double decodeP99Ms = 0;          // decoder time per picture, 99th percentile
  double latencyP50Ms = 0;         // from the InputData call that completed a picture
  double latencyP99Ms = 0;         //   to the picture leaving the decoder: median, 99th percentile
  int queueDepth = 0;              // pictures decoded and waiting to be presented, now
  int queueDepthMax = 0;           // the most that ever waited
  int decoderThreads = 0;          // threads the decoder uses now (more than 1 for 4K)
};

// The statistics of port since its stream was opened. False, leaving *stats
// alone, for a port without a stream.
bool ReadStageStats(LONG port, StageStats* stats);

}  // namespace player
