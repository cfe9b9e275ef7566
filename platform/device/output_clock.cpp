#include "platform/device/output_clock.h"

#include <algorithm>

namespace device {

int64_t OutputClock::Next(bool hasPts, int64_t inputPts90k) {
  const int64_t continued = m_started ? m_last + kNominalStep : kFirstStamp;
  int64_t stamp = continued;
  if (hasPts) {
    if (!m_haveOrigin) {
      m_haveOrigin = true;
      m_originIn = inputPts90k;
      m_originOut = continued;
    }
    stamp = m_originOut + (inputPts90k - m_originIn);
  }
  if (m_started) {
    stamp = std::max(stamp, m_last + 1);  // strictly increasing, even if the input steps back
  }
  m_started = true;
  m_last = stamp;
  return stamp;
}

}  // namespace device
