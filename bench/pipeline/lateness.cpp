#include "bench/pipeline/lateness.h"

#include <algorithm>
#include <cmath>

namespace pipeline {

LatenessResult MatchPicturesToFrames(const std::vector<FrameArrival>& frames,
                                     const std::vector<DWORD>& pictureTicks, LONG delayMs) {
  LatenessResult result;
  const auto firstKey =
      std::find_if(frames.begin(), frames.end(), [](const FrameArrival& f) { return f.key; });
  if (firstKey == frames.end()) {
    result.error = "no key frame among the frames received";
    return result;
  }
  const auto shown = static_cast<size_t>(frames.end() - firstKey);
  if (pictureTicks.size() > shown) {
    result.error = "more pictures than frames from the first key frame on";
    return result;
  }
  for (size_t k = 0; k < pictureTicks.size(); ++k) {
    const DWORD due = firstKey[static_cast<std::ptrdiff_t>(k)].completeTick +
                      static_cast<DWORD>(delayMs);
    const auto lateness = static_cast<LONG>(pictureTicks[k] - due);
    if (lateness < 0) {
      result.error = "picture " + std::to_string(k) + " came " + std::to_string(-lateness) +
                     " ms before its frame was due: pictures and frames are out of step";
      return result;
    }
    result.latenessMs.push_back(lateness);
  }
  return result;
}

double Percentile(std::vector<LONG> values, double fraction) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

}  // namespace pipeline
