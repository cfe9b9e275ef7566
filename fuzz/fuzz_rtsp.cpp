// What a hostile device controls in the RTSP client: its replies, its SDP
// and its RTP packets. The input is used three ways: as one reply, as an
// SDP, and as RTP packets (2-byte big-endian length, then the packet; the
// first byte picks H.264 or H.265). Checks: parsed lengths stay within the
// input and the bound, and every access unit is whole Annex B within its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/device/rtp_depacketizer.h"
#include "platform/device/rtsp_message.h"
#include "platform/device/sdp.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  device::RtspMessage message;
  size_t consumed = 0;
  if (device::ParseRtspMessage(text, &message, &consumed) == device::ParseResult::kComplete) {
    Check(consumed <= size && consumed <= device::kMaxRtspMessageBytes);
    Check(message.body.size() < consumed);
  }

  device::SdpVideo video;
  if (device::ParseSdpVideo(text, &video)) {
    Check(video.parameterSets.empty() || video.parameterSets[3] == 1);
    device::ResolveControl("rtsp://127.0.0.1:554/ch1/main", video.control);
  }

  if (size == 0) {
    return 0;
  }
  const auto codec = (data[0] & 1) != 0 ? device::VideoCodec::kH265 : device::VideoCodec::kH264;
  device::RtpDepacketizer depacketizer(codec, 96);
  device::AccessUnit unit;
  for (size_t at = 1; at + 2 <= size;) {
    const size_t length = std::min<size_t>(size_t{data[at]} << 8 | data[at + 1], size - at - 2);
    depacketizer.Push(data + at + 2, length);
    at += 2 + length;
    while (depacketizer.Pop(&unit)) {
      Check(unit.bytes.size() >= 5 &&
            unit.bytes.size() <= device::RtpDepacketizer::kMaxAccessUnitBytes);
      Check(unit.bytes[0] == 0 && unit.bytes[1] == 0 && unit.bytes[2] == 0 && unit.bytes[3] == 1);
    }
  }
  return 0;
}
