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
    m_counts.lost += m_held.size();
    m_held.clear();
    m_givenUp.clear();
    m_started = true;
    m_next = sequence + int64_t{1};
    return true;
  }
  const int64_t unwrapped = m_next + distance;
  if (distance < 0) {
    Behind(unwrapped);
    return false;
  }
  // Anything waiting is later than this packet: it overtook this one.
  const bool overtaken = !m_held.empty() && m_held.rbegin()->first > unwrapped;
  if (distance == 0) {
    m_counts.reordered += overtaken ? 1 : 0;
    ++m_next;
    return true;
  }
  if (m_held.try_emplace(unwrapped, Held{packet, now}).second) {
    m_counts.reordered += overtaken ? 1 : 0;
  } else {
    ++m_counts.duplicate;
  }
  return false;
}

void RtpReorder::Behind(int64_t sequence) {
  for (auto gap = m_givenUp.begin(); gap != m_givenUp.end(); ++gap) {
    if (sequence >= gap->first && sequence < gap->second) {
      ++m_counts.late;
      // A second copy of it is a copy: the number is no longer missing.
      const std::pair<int64_t, int64_t> after{sequence + 1, gap->second};
      gap->second = sequence;
      if (after.first < after.second) {
        m_givenUp.insert(gap + 1, after);
        if (m_givenUp.size() > kMaxRememberedGaps) {
          m_givenUp.pop_front();
        }
      }
      return;
    }
  }
  ++m_counts.duplicate;
}

bool RtpReorder::Pop(std::vector<uint8_t>* packet, Clock::time_point now) {
  if (m_held.empty()) {
    return false;
  }
  auto first = m_held.begin();
  if (first->first != m_next && m_held.size() <= kMaxHeldPackets && now < HoldUntil()) {
    return false;
  }
  if (first->first != m_next) {
    m_counts.lost += static_cast<uint64_t>(first->first - m_next);
    m_givenUp.emplace_back(m_next, first->first);
    if (m_givenUp.size() > kMaxRememberedGaps) {
      m_givenUp.pop_front();
    }
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
