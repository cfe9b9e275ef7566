#include "platform/player/stage_counters.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace player {

void StageCounters::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_ = {};
  decodeTimes_ = {};
  latencies_ = {};
}

void StageCounters::Histogram::Add(double ms) {
  const auto step = static_cast<size_t>(std::max(0.0, ms) / kStepMs);
  ++pictures_[std::min(step, kSteps - 1)];
}

void StageCounters::PictureDecoded(double decodeMs, double latencyMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_.picturesDecoded;
  decodeTimes_.Add(decodeMs);
  latencies_.Add(latencyMs);
}

void StageCounters::PicturePresented() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_.picturesPresented;
}

void StageCounters::PicturesDropped(uint64_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.picturesDropped += count;
}

void StageCounters::BytesRefused(size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.bytesRefused += bytes;
}

void StageCounters::DecodeError() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_.decodeErrors;
  ++counts_.picturesDropped;
}

void StageCounters::QueueDepth(int depth) {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.queueDepth = depth;
  counts_.queueDepthMax = std::max(counts_.queueDepthMax, depth);
}

void StageCounters::DecoderThreads(int threads) {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.decoderThreads = threads;
}

double StageCounters::Histogram::Percentile(double fraction) const {
  uint64_t total = 0;
  for (uint32_t pictures : pictures_) {
    total += pictures;
  }
  if (total == 0) {
    return 0;
  }
  // The step holding the picture at rank ceil(fraction * total); its middle.
  const auto rank = static_cast<uint64_t>(fraction * static_cast<double>(total - 1)) + 1;
  uint64_t seen = 0;
  for (size_t step = 0; step < kSteps; ++step) {
    seen += pictures_[step];
    if (seen >= rank) {
      return (static_cast<double>(step) + 0.5) * kStepMs;
    }
  }
  return kSteps * kStepMs;
}

StageStats StageCounters::Read() const {
  std::lock_guard<std::mutex> lock(mutex_);
  StageStats stats = counts_;
  stats.decodeP50Ms = decodeTimes_.Percentile(0.50);
  stats.decodeP99Ms = decodeTimes_.Percentile(0.99);
  stats.latencyP50Ms = latencies_.Percentile(0.50);
  stats.latencyP99Ms = latencies_.Percentile(0.99);
  return stats;
}

std::string StageCounters::Summary(LONG port) const {
  const StageStats stats = Read();
  char line[400];
  std::snprintf(line, sizeof line,
                "player: port %d closed: %" PRIu64 " pictures decoded, %" PRIu64
                " presented, %" PRIu64 " dropped, %" PRIu64 " decoder errors, %" PRIu64
                " bytes refused, decode p50 %.1f ms p99 %.1f ms, input to decoded p50 %.1f ms"
                " p99 %.1f ms, queue depth max %d, decoder threads %d\n",
                static_cast<int>(port), stats.picturesDecoded, stats.picturesPresented,
                stats.picturesDropped, stats.decodeErrors, stats.bytesRefused, stats.decodeP50Ms,
                stats.decodeP99Ms, stats.latencyP50Ms, stats.latencyP99Ms, stats.queueDepthMax,
                stats.decoderThreads);
  return line;
}

}  // namespace player
