#include "platform/device/rtcp_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/device/rtp_header.h"

namespace device {
namespace {

constexpr uint8_t kReceiverReport = 201;
constexpr uint8_t kSourceDescription = 202;
constexpr uint8_t kCname = 1;

void Put32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out->push_back(static_cast<uint8_t>(value >> shift));
  }
}

// The header of one RTCP packet; its length (in 32-bit words, less one) is
// filled in by Finish once the packet is whole.
size_t Begin(std::vector<uint8_t>* out, uint8_t count, uint8_t type) {
  const size_t start = out->size();
  out->insert(out->end(), {static_cast<uint8_t>(0x80 | count), type, 0, 0});
  return start;
}

void Finish(std::vector<uint8_t>* out, size_t start) {
  while ((out->size() - start) % 4 != 0) {
    out->push_back(0);
  }
  const size_t words = (out->size() - start) / 4 - 1;
  (*out)[start + 2] = static_cast<uint8_t>(words >> 8);
  (*out)[start + 3] = static_cast<uint8_t>(words);
}

}  // namespace

void RtcpReport::Restart(uint32_t ssrc, uint16_t sequence) {
  m_started = true;
  m_ssrc = ssrc;
  m_maxSequence = sequence;
  m_cycles = 0;
  m_baseSequence = sequence;
  m_received = 0;
  m_expectedPrior = 0;
  m_receivedPrior = 0;
  m_jitter = 0;
}

void RtcpReport::Received(const uint8_t* packet, size_t size, uint32_t arrival) {
  if (size < kRtpHeaderBytes || (packet[0] >> 6) != 2) {
    return;
  }
  const uint16_t sequence = RtpSequence(packet);
  const uint32_t rtpTime = RtpTime(packet);
  const uint32_t ssrc = RtpSsrc(packet);
  const auto ahead = static_cast<uint16_t>(sequence - m_maxSequence);
  if (!m_started || ssrc != m_ssrc ||
      (ahead >= kMaxDropout && ahead <= 65536 - kMaxMisorder)) {
    Restart(ssrc, sequence);
  } else if (ahead < kMaxDropout) {
    if (sequence < m_maxSequence) {
      m_cycles += 65536;
    }
    m_maxSequence = sequence;
  }  // otherwise a late or repeated packet: counted, the highest stays
  const int64_t transit = static_cast<int32_t>(arrival - rtpTime);
  if (m_received > 0) {
    m_jitter += (static_cast<double>(std::llabs(transit - m_lastTransit)) - m_jitter) / 16;
  }
  m_lastTransit = transit;
  ++m_received;
}

std::vector<uint8_t> RtcpReport::Build() {
  if (!m_started) {
    return {};
  }
  const uint32_t highest = m_cycles + m_maxSequence;
  const uint32_t expected = highest - m_baseSequence + 1;
  const int64_t lost = std::clamp<int64_t>(int64_t{expected} - m_received, -0x800000, 0x7FFFFF);
  const int64_t expectedInterval = int64_t{expected} - m_expectedPrior;
  const int64_t lostInterval = expectedInterval - (int64_t{m_received} - m_receivedPrior);
  const uint32_t fraction =
      expectedInterval <= 0 || lostInterval <= 0
          ? 0
          : static_cast<uint32_t>(std::min<int64_t>((lostInterval << 8) / expectedInterval, 255));
  m_expectedPrior = expected;
  m_receivedPrior = m_received;

  std::vector<uint8_t> out;
  const size_t report = Begin(&out, 1, kReceiverReport);
  Put32(&out, m_ownSsrc);
  Put32(&out, m_ssrc);
  Put32(&out, fraction << 24 | (static_cast<uint32_t>(lost) & 0xFFFFFF));
  Put32(&out, highest);
  Put32(&out, static_cast<uint32_t>(m_jitter));
  Put32(&out, 0);  // no sender report taken: last SR time and the delay since are 0
  Put32(&out, 0);
  Finish(&out, report);

  char name[24];
  std::snprintf(name, sizeof name, "tarnview-%08x", m_ownSsrc);
  const std::string cname = name;
  const size_t description = Begin(&out, 1, kSourceDescription);
  Put32(&out, m_ownSsrc);
  out.push_back(kCname);
  out.push_back(static_cast<uint8_t>(cname.size()));
  out.insert(out.end(), cname.begin(), cname.end());
  out.push_back(0);  // end of the item list, then padding to a whole word
  Finish(&out, description);
  return out;
}

}  // namespace device
