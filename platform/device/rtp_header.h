// The fixed RTP header (RFC 3550): its fields read from a packet of at least
// kRtpHeaderBytes, and the receiver's rule for telling a sender that numbers
// afresh apart from packets that come late or go missing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace device {

constexpr size_t kRtpHeaderBytes = 12;

// A sequence number this far ahead of the expected one, or further behind it
// than kMaxMisorder, means the sender numbers afresh (it restarted).
constexpr int kMaxDropout = 3000;
constexpr int kMaxMisorder = 100;

inline uint16_t RtpSequence(const uint8_t* packet) {
  return static_cast<uint16_t>(packet[2] << 8 | packet[3]);
}

inline uint32_t RtpBigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

inline uint32_t RtpTime(const uint8_t* packet) { return RtpBigEndian32(packet + 4); }

inline uint32_t RtpSsrc(const uint8_t* packet) { return RtpBigEndian32(packet + 8); }

}  // namespace device
