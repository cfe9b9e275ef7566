// Decode times (DTS) for access units that come in decode order with their
// presentation times (PTS), as B-frames need them: strictly increasing, never
// after the PTS, and a constant offset behind the PTS within a stream. The
// DTS of a unit is the PTS of the picture shown `depth` places earlier in
// display order, where depth is the stream's reordering: what its SPS states,
// else what the stream shows (the deepest reordering seen, growing only).
// Without B-frames the depth is 0 and DTS = PTS.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

namespace device {

class DecodeTimeline {
 public:
  // No decoder holds more pictures back than this (H.264 and H.265 levels).
  static constexpr int kMaxDepth = 16;
  // Spacing of the first pictures' decode times, before the stream has shown
  // a picture's spacing: one picture at 25 frames/s.
  static constexpr int64_t kStartStep90k = 3600;

  struct Stamps {
    int64_t pts = 0;  // 90 kHz
    int64_t dts = 0;  // 90 kHz
  };

  // The reordering the stream's SPS states; the depth never shrinks.
  void StateDepth(int depth);
  // The PTS that follow are of a new timeline (a new connection or origin):
  // the reordering starts afresh; decode times go on increasing.
  void Restart();
  // The stamps for the next unit in decode order. None when the unit came
  // further out of order than the depth so far allows: its decode time would
  // lie before one already given out, so it cannot be decoded in place and
  // is dropped (the depth grows to what it showed). A PTS that merely
  // repeats the latest given (a camera clock that stalled) moves one tick on.
  std::optional<Stamps> Next(int64_t pts);
  int Depth() const { return m_depth; }

 private:
  // Units given out so far whose PTS is later than `pts`.
  int LaterThan(int64_t pts) const;

  int m_depth = 0;
  // PTS of this timeline not yet used as a decode time; at most m_depth + 1.
  std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> m_pending;
  // PTS of the last units given out in this timeline: enough to see any
  // reordering up to kMaxDepth.
  std::array<int64_t, kMaxDepth + 1> m_recent{};
  int m_recentCount = 0;  // entries of m_recent in use
  int m_recentNext = 0;   // where the next one goes
  bool m_haveDts = false;  // any unit given out yet
  int64_t m_lastDts = 0;
  int64_t m_latestPts = 0;  // the largest PTS given out
};

}  // namespace device
