// The counting side of a port's stage statistics: the decode thread, the
// feeding thread and the readers meet here under one lock (a few counter
// updates per picture).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/player/stage_stats.h"

namespace player {

class StageCounters {
 public:
  void Reset();
  // decodeMs: in the decoder; latencyMs: from the InputData call that
  // completed the picture to the picture leaving the decoder.
  void PictureDecoded(double decodeMs, double latencyMs);
  void PicturePresented();
  void PicturesDropped(uint64_t count);
  void BytesRefused(size_t bytes);
  void DecodeError();
  void QueueDepth(int depth);
  void DecoderThreads(int threads);
  StageStats Read() const;
  // The one stderr line of a port whose stream is released.
  std::string Summary(LONG port) const;

 private:
  // Times in steps of 0.1 ms up to 400 ms (a 4K picture on one slow core
  // takes about 30 ms); longer ones count in the last step.
  class Histogram {
   public:
    void Add(double ms);
    double Percentile(double fraction) const;  // ms, the middle of its step

   private:
    static constexpr double kStepMs = 0.1;
    static constexpr size_t kSteps = 4000;
    std::array<uint32_t, kSteps> pictures_{};  // pictures per step
  };

  mutable std::mutex mutex_;
  StageStats counts_;        // guarded by mutex_ (percentiles filled on Read)
  Histogram decodeTimes_;    // guarded by mutex_
  Histogram latencies_;      // guarded by mutex_
};

}  // namespace player
