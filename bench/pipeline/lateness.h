// Lateness of each picture at the sink beyond the moment its frame became due
// (the frame's arrival plus the delay).
#pragma once

#include <string>
#include <vector>

#include "bench/pipeline/frame_arrivals.h"
#include "platform/sys/types.h"

namespace pipeline {

struct LatenessResult {
  std::vector<LONG> latenessMs;  // one per picture, in order
  std::string error;             // non-empty: pictures could not be matched to frames
};

// Matches pictures to frames by order: the decoder shows nothing before the
// first key frame and then one picture per frame (low delay, no reordering),
// so picture k shows frame (first key frame + k). A decoder that skipped a
// frame would put later pictures before their frames were due; that is
// reported as an error rather than as lateness.
LatenessResult MatchPicturesToFrames(const std::vector<FrameArrival>& frames,
                                     const std::vector<DWORD>& pictureTicks, LONG delayMs);

// Nearest-rank percentile (0 < fraction <= 1) of values; 0 when empty.
double Percentile(std::vector<LONG> values, double fraction);

}  // namespace pipeline
