// Receiver reports (RTCP) on the video a device sends: how much arrived, how
// much was lost, how evenly it came. Besides the RTSP keep-alive, many devices
// take these as the sign that a viewer is still there, and stop sending to one
// that never reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace device {

class RtcpReport {
 public:
  // No report more often than this: the shortest interval a receiver keeps.
  static constexpr int kIntervalMs = 5000;

  // `ownSsrc` names us in the reports; it should be random per session.
  explicit RtcpReport(uint32_t ownSsrc) : m_ownSsrc(ownSsrc) {}

  // One RTP packet of the video (header included) as it arrived, before any
  // reordering; `arrival` is its arrival time in the medium's clock units.
  void Received(const uint8_t* packet, size_t size, uint32_t arrival);
  // A compound packet: the receiver report on the sender, then our name
  // (SDES CNAME). Empty while no packet has come.
  std::vector<uint8_t> Build();

 private:
  void Restart(uint32_t ssrc, uint16_t sequence);

  uint32_t m_ownSsrc;
  bool m_started = false;
  uint32_t m_ssrc = 0;         // the sender's
  uint16_t m_maxSequence = 0;  // highest sequence number seen
  uint32_t m_cycles = 0;       // sequence number wraps seen, times 65536
  uint32_t m_baseSequence = 0;
  uint32_t m_received = 0;
  uint32_t m_expectedPrior = 0;  // at the last report
  uint32_t m_receivedPrior = 0;  // at the last report
  int64_t m_lastTransit = 0;     // arrival minus RTP time of the last packet, clock units
  double m_jitter = 0;           // interarrival jitter, clock units
};

}  // namespace device
