#include "platform/device/rtp_reorder.h"

#include <algorithm>

#include "platform/device/rtp_header.h"

namespace device {

bool RtpReorder::Offer(const std::vector<uint8_t>& packet, Clock::time_point now) {
  if (packet.size() < kRtpHeaderBytes) {
    return true;  // no RTP header: the depacketizer refuses it
  }
  const uint16_t sequence = RtpSequence(packet.data());
  const int distance = static_cast<int16_t>(sequence - static_cast<uint16_t>(m_next));
  if (!m_started || distance < -kMaxMisorder || distance > kMaxDropout) {
    // What waited belongs to the old numbering, behind a gap that will not fill.
    m_held.clear();
    m_started = true;
    m_next = sequence + int64_t{1};
    return true;
  }
  if (distance == 0) {
    ++m_next;
    return true;
  }
  if (distance > 0) {  // ahead of a gap; behind it is late or a copy
    m_held.try_emplace(m_next + distance, Held{packet, now});
  }
  return false;
}

bool RtpReorder::Pop(std::vector<uint8_t>* packet, Clock::time_point now) {
  if (m_held.empty()) {
    return false;
  }
  auto first = m_held.begin();
  if (first->first != m_next && m_held.size() <= kMaxHeldPackets && now < HoldUntil()) {
    return false;
  }
  *packet = std::move(first->second.bytes);
  m_next = first->first + 1;
  m_held.erase(first);
  return true;
}

RtpReorder::Clock::time_point RtpReorder::HoldUntil() const {
  if (m_held.empty()) {
    return Clock::time_point::max();
  }
  auto oldest = Clock::time_point::max();
  for (const auto& [sequence, held] : m_held) {
    oldest = std::min(oldest, held.arrived);
  }
  return oldest + kMaxHold;
}

}  // namespace device
