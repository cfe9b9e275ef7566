#include "platform/device/rtp_depacketizer.h"

#include <algorithm>

#include "platform/device/rtp_header.h"
#include "platform/stream/nal.h"

namespace device {
namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

void RtpDepacketizer::Push(const uint8_t* packet, size_t size) {
  if (size < kRtpHeaderBytes || (packet[0] >> 6) != 2) {
    return;
  }
  const bool padding = (packet[0] & 0x20) != 0;
  const bool extension = (packet[0] & 0x10) != 0;
  const size_t csrcCount = packet[0] & 0x0F;
  const bool marker = (packet[1] & 0x80) != 0;
  if ((packet[1] & 0x7F) != m_payloadType) {
    return;
  }
  const uint16_t sequence = RtpSequence(packet);
  const uint32_t rtpTime = RtpTime(packet);
  size_t offset = kRtpHeaderBytes + 4 * csrcCount;
  if (extension) {
    if (offset + 4 > size) {
      return;
    }
    offset += 4 + 4 * size_t{Read16(packet + offset + 2)};
  }
  size_t end = size;
  if (padding && end > offset) {
    const size_t padBytes = packet[end - 1];
    end = padBytes <= end - offset ? end - padBytes : offset;
  }
  if (offset >= end) {
    return;
  }
  if (m_haveSequence && sequence != m_nextSequence && m_haveCurrent) {
    AbandonFragment();      // a lost fragment spoils its whole NAL unit
    m_current.key = false;  // a damaged picture is no place to start decoding
  }
  m_haveSequence = true;
  m_nextSequence = static_cast<uint16_t>(sequence + 1);

  if (m_haveCurrent && rtpTime != m_current.rtpTime) {
    Complete();  // its marker was lost: the new time stamp ends it
  }
  if (!m_haveCurrent) {
    m_current = AccessUnit{};
    m_current.rtpTime = rtpTime;
    m_haveCurrent = true;
  }
  Payload(packet + offset, end - offset);
  if (marker) {
    Complete();
  }
}

bool RtpDepacketizer::Pop(AccessUnit* unit) {
  if (m_ready.empty()) {
    return false;
  }
  *unit = std::move(m_ready.front());
  m_ready.pop_front();
  return true;
}

void RtpDepacketizer::Complete() {
  AbandonFragment();  // its last fragment never came
  m_haveCurrent = false;
  if (m_current.bytes.empty()) {
    return;
  }
  if (m_ready.size() == kMaxReadyUnits) {
    m_ready.pop_front();  // nobody takes them: keep the newest
  }
  m_ready.push_back(std::move(m_current));
  m_current = AccessUnit{};
}

void RtpDepacketizer::AddNal(const uint8_t* nal, size_t size) {
  if (size == 0) {
    return;
  }
  if (m_current.bytes.size() + sizeof kStartCode + size > kMaxAccessUnitBytes) {
    m_current.bytes.clear();
    m_current.key = false;
    m_inFragment = false;
    return;
  }
  if (size >= stream::NalHeaderBytes(m_codec) && stream::IsKeyNal(m_codec, nal)) {
    m_current.key = true;
  }
  m_current.bytes.insert(m_current.bytes.end(), std::begin(kStartCode), std::end(kStartCode));
  m_current.bytes.insert(m_current.bytes.end(), nal, nal + size);
}

void RtpDepacketizer::AddAggregated(const uint8_t* units, size_t size) {
  for (size_t at = 0; at + 2 <= size;) {
    const size_t nalSize = Read16(units + at);
    at += 2;
    if (nalSize > size - at) {
      break;  // cut short: the rest is not trusted
    }
    AddNal(units + at, nalSize);
    at += nalSize;
  }
}

void RtpDepacketizer::AbandonFragment() {
  if (m_inFragment) {
    m_current.bytes.resize(std::min(m_fragmentStart, m_current.bytes.size()));
    m_inFragment = false;
  }
}

void RtpDepacketizer::Fragment(const uint8_t* header, size_t headerSize, uint8_t fuHeader,
                               const uint8_t* part, size_t size) {
  if ((fuHeader & 0x80) != 0) {  // start
    AbandonFragment();
    m_fragmentStart = m_current.bytes.size();
    AddNal(header, headerSize);
    m_inFragment = m_current.bytes.size() > m_fragmentStart;
  }
  if (!m_inFragment) {
    return;  // its start was lost
  }
  if (m_current.bytes.size() + size > kMaxAccessUnitBytes) {
    m_current.bytes.clear();
    m_current.key = false;
    m_inFragment = false;
    return;
  }
  m_current.bytes.insert(m_current.bytes.end(), part, part + size);
  if ((fuHeader & 0x40) != 0) {  // end
    m_inFragment = false;
  }
}

void RtpDepacketizer::Payload(const uint8_t* payload, size_t size) {
  if (m_codec == VideoCodec::kH264) {
    PayloadH264(payload, size);
  } else {
    PayloadH265(payload, size);
  }
}

void RtpDepacketizer::PayloadH264(const uint8_t* payload, size_t size) {
  const int type = stream::NalType(VideoCodec::kH264, payload);
  if (type != stream::kH264FuA) {
    AbandonFragment();  // its end was lost
  }
  if (type >= 1 && type <= 23) {
    AddNal(payload, size);
  } else if (type == stream::kH264StapA) {
    // STAP-A: 1-byte header, then 16-bit size, NAL unit, ...
    AddAggregated(payload + 1, size - 1);
  } else if (type == stream::kH264FuA && size > 2) {
    // FU-A: indicator, header (S E R type), part
    const uint8_t fuHeader = payload[1];
    const uint8_t nalHeader = static_cast<uint8_t>((payload[0] & 0xE0) | (fuHeader & 0x1F));
    Fragment(&nalHeader, 1, fuHeader, payload + 2, size - 2);
  }
  // STAP-B, MTAP and FU-B belong to the interleaved mode, which we never ask for.
}

void RtpDepacketizer::PayloadH265(const uint8_t* payload, size_t size) {
  if (size < 3) {
    return;
  }
  const int type = stream::NalType(VideoCodec::kH265, payload);
  if (type != stream::kH265Fragment) {
    AbandonFragment();  // its end was lost
  }
  if (type < stream::kH265Aggregation) {
    AddNal(payload, size);
  } else if (type == stream::kH265Aggregation) {
    // Aggregation packet: 2-byte header, then 16-bit size, NAL unit, ...
    AddAggregated(payload + 2, size - 2);
  } else if (type == stream::kH265Fragment && size > 3) {
    // Fragmentation unit: header, FU header (S E type), part
    const uint8_t fuHeader = payload[2];
    const uint8_t nalHeader[2] = {
        static_cast<uint8_t>((payload[0] & 0x81) | ((fuHeader & 0x3F) << 1)), payload[1]};
    Fragment(nalHeader, 2, fuHeader, payload + 3, size - 3);
  }
  // Type 50 (PACI) carries nothing a decoder needs.
}

}  // namespace device
