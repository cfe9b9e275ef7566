#include "bench/pipeline/frame_arrivals.h"

namespace pipeline {

namespace {

constexpr DWORD kTsPacketBytes = 188;
constexpr BYTE kTsSync = 0x47;

}  // namespace

void FrameArrivals::OnPiece(const BYTE* data, DWORD size, DWORD tick) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (DWORD at = 0; at + kTsPacketBytes <= size; at += kTsPacketBytes) {
    const BYTE* packet = data + at;
    if (packet[0] != kTsSync) {
      continue;
    }
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    const bool unitStart = (packet[1] & 0x40) != 0;
    const int adaptation = (packet[3] >> 4) & 0x3;  // 2: adaptation field, 1: payload
    DWORD payload = 4;
    bool randomAccess = false;
    if ((adaptation & 0x2) != 0) {
      const DWORD fieldBytes = packet[4];
      randomAccess = fieldBytes > 0 && (packet[5] & 0x40) != 0;
      payload += 1 + fieldBytes;
    }
    if ((adaptation & 0x1) == 0 || payload + 4 > kTsPacketBytes) {
      continue;
    }
    const BYTE* p = packet + payload;
    const bool videoStart = unitStart && p[0] == 0 && p[1] == 0 && p[2] == 1 && (p[3] & 0xF0) == 0xE0;
    if (videoStart) {
      if (m_inFrame) {
        m_current.completeTick = m_lastVideoTick;
        m_complete.push_back(m_current);
      }
      m_videoPid = pid;
      m_current = FrameArrival{0, randomAccess};
      m_inFrame = true;
    }
    if (pid == m_videoPid) {
      m_lastVideoTick = tick;
    }
  }
}

std::vector<FrameArrival> FrameArrivals::Complete() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_complete;
}

}  // namespace pipeline
