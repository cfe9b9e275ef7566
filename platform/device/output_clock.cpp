#include "platform/device/output_clock.h"

#include <algorithm>

namespace device {
namespace {

// |to - from| > limit, for any two values (their distance may not fit in int64_t).
bool FartherThan(int64_t from, int64_t to, int64_t limit) {
  const uint64_t distance = to >= from ? static_cast<uint64_t>(to) - static_cast<uint64_t>(from)
                                       : static_cast<uint64_t>(from) - static_cast<uint64_t>(to);
  return distance > static_cast<uint64_t>(limit);
}

}  // namespace

int64_t OutputClock::Next(bool hasPts, int64_t inputPts90k) {
  const int64_t continued = m_started ? m_latest + kNominalStep : kFirstStamp;
  int64_t stamp = continued;
  m_tookNewOrigin = !m_haveOrigin;
  if (hasPts) {
    const bool leap = FartherThan(m_lastIn, inputPts90k, kMaxJump);
    const bool stepBack =
        inputPts90k < m_lastIn && FartherThan(m_lastIn, inputPts90k, kMaxBackStep);
    if (m_haveOrigin && (leap || stepBack)) {
      m_haveOrigin = false;
      m_tookNewOrigin = true;
    }
    if (!m_haveOrigin) {
      m_haveOrigin = true;
      m_originIn = inputPts90k;
      m_originOut = continued;
    }
    m_lastIn = inputPts90k;
    stamp = m_originOut + (inputPts90k - m_originIn);
  }
  m_latest = m_started ? std::max(m_latest, stamp) : stamp;
  m_started = true;
  return stamp;
}

}  // namespace device
