#include "platform/device/decode_timeline.h"

#include <algorithm>

namespace device {

void DecodeTimeline::StateDepth(int depth) {
  m_depth = std::clamp(depth, m_depth, kMaxDepth);
}

void DecodeTimeline::Restart() {
  m_pending = {};
  m_recentCount = 0;
  m_recentNext = 0;
}

int DecodeTimeline::LaterThan(int64_t pts) const {
  return static_cast<int>(std::count_if(m_recent.begin(), m_recent.begin() + m_recentCount,
                                        [pts](int64_t given) { return given > pts; }));
}

std::optional<DecodeTimeline::Stamps> DecodeTimeline::Next(int64_t pts) {
  if (m_haveDts) {
    const int later = LaterThan(pts);
    if (later == 0 && pts <= m_latestPts) {
      pts = m_latestPts + 1;  // the latest time again: the camera's clock stalled
    } else if (pts <= m_lastDts) {
      m_depth = std::clamp(later, m_depth, kMaxDepth);
      return std::nullopt;
    }
  }
  // From here pts > m_lastDts (a decode time is never after its own unit's
  // PTS, and the latest PTS is at least every decode time): every candidate
  // below lies in (m_lastDts, pts].
  m_pending.push(pts);
  int64_t dts = 0;
  if (static_cast<int>(m_pending.size()) > m_depth) {
    // Every picture shown `depth` or more places before this one has come:
    // the earliest waiting PTS is the decode time.
    dts = m_pending.top();
    m_pending.pop();
  } else {
    // The first pictures of a timeline: decode times ahead of the reordering.
    dts = m_haveDts ? m_lastDts + 1 : pts - m_depth * kStartStep90k;
  }
  if (m_haveDts) {
    dts = std::max(dts, m_lastDts + 1);
  }
  m_latestPts = m_haveDts ? std::max(m_latestPts, pts) : pts;
  m_haveDts = true;
  m_lastDts = dts;
  m_recent[static_cast<size_t>(m_recentNext)] = pts;
  m_recentNext = (m_recentNext + 1) % static_cast<int>(m_recent.size());
  m_recentCount = std::min(m_recentCount + 1, static_cast<int>(m_recent.size()));
  return Stamps{pts, dts};
}

}  // namespace device
