// RTP payloads of H.264 (single NAL units, STAP-A, FU-A) and H.265 (single
// NAL units, aggregation and fragmentation units) back into access units in
// Annex B form, one per RTP time stamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/device/sdp.h"

namespace device {

struct AccessUnit {
  std::vector<uint8_t> bytes;  // NAL units, each behind a 4-byte start code
  uint32_t rtpTime = 0;        // RTP time stamp, in the medium's clock
  bool key = false;            // holds an IDR (H.264) or IRAP (H.265) picture
};

class RtpDepacketizer {
 public:
  // A picture larger than this is a broken or hostile stream: it is dropped
  // rather than grown further. 4K key frames are well under it.
  static constexpr size_t kMaxAccessUnitBytes = 8 << 20;
  // Completed units waiting to be taken; a unit completes per time stamp,
  // so there are rarely more than two.
  static constexpr size_t kMaxReadyUnits = 8;

  RtpDepacketizer(VideoCodec codec, int payloadType) : m_codec(codec), m_payloadType(payloadType) {}

  // One RTP packet (header included). Packets of another payload type and
  // malformed ones are ignored.
  void Push(const uint8_t* packet, size_t size);
  // The oldest completed access unit, if any.
  bool Pop(AccessUnit* unit);

 private:
  void AddNal(const uint8_t* nal, size_t size);
  // NAL units each behind a 16-bit size, as aggregation packets carry them.
  void AddAggregated(const uint8_t* units, size_t size);
  // One piece of a fragmented NAL unit: its rebuilt header (used at the
  // start), the FU header with the start and end bits, and the piece.
  void Fragment(const uint8_t* header, size_t headerSize, uint8_t fuHeader, const uint8_t* part,
                size_t size);
  void AbandonFragment();  // drops a fragmented NAL unit that will not be whole
  void Complete();
  void Payload(const uint8_t* payload, size_t size);
  void PayloadH264(const uint8_t* payload, size_t size);
  void PayloadH265(const uint8_t* payload, size_t size);

  const VideoCodec m_codec;
  const int m_payloadType;
  AccessUnit m_current;
  bool m_haveCurrent = false;
  bool m_inFragment = false;   // a fragmented NAL unit is being joined
  size_t m_fragmentStart = 0;  // where it starts in m_current.bytes
  bool m_haveSequence = false;
  uint16_t m_nextSequence = 0;
  std::deque<AccessUnit> m_ready;
};

}  // namespace device
