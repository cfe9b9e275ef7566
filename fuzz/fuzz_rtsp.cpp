// What a hostile device controls in the RTSP client: its replies, its
// authentication challenge, its redirects, its SDP and its RTP packets. The
// input is used five ways: as one reply, as a challenge, as a redirect's
// address, as an SDP, and as RTP packets (2-byte big-endian length, then the packet; the
// first byte picks H.264 or H.265, and whether the packets are put back in
// order as UDP's are, one arriving each millisecond, and reported on). Checks:
// parsed lengths stay within the input and the bound, no packet is given out
// twice, every access unit is whole Annex B within its bound, and the
// reception report is whole 32-bit words.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/rtp_depacketizer.h"
#include "platform/device/rtcp_report.h"
#include "platform/device/rtp_reorder.h"
#include "platform/device/rtsp_auth.h"
#include "platform/device/rtsp_message.h"
#include "platform/device/rtsp_url.h"
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

  device::RtspAuth auth("admin", "password");
  if (auth.Challenge({text})) {
    Check(!auth.Authorization("DESCRIBE", "rtsp://127.0.0.1:554/ch1/main").empty());
  }

  std::string host;
  std::string path;
  int port = 0;
  if (device::ParseRtspUrl(text, &host, &port, &path)) {
    Check(device::IsValidHost(host) && device::IsValidPathTemplate(path) && port > 0 &&
          port < 65536);
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
  const bool reordered = (data[0] & 2) != 0;
  device::RtpDepacketizer depacketizer(codec, 96);
  device::RtpReorder reorder;
  device::RtcpReport report(1);
  device::AccessUnit unit;
  std::vector<uint8_t> packet;
  size_t offered = 0;
  size_t given = 0;
  for (size_t at = 1; at + 2 <= size;) {
    const size_t length = std::min<size_t>(size_t{data[at]} << 8 | data[at + 1], size - at - 2);
    packet.assign(data + at + 2, data + at + 2 + length);
    at += 2 + length;
    report.Received(packet.data(), packet.size(), static_cast<uint32_t>(offered * 90));
    const auto now = device::RtpReorder::Clock::time_point{} + std::chrono::milliseconds(offered++);
    if (!reordered || reorder.Offer(packet, now)) {
      ++given;
      depacketizer.Push(packet.data(), packet.size());
    }
    while (reordered && reorder.Pop(&packet, now)) {
      ++given;
      depacketizer.Push(packet.data(), packet.size());
    }
    Check(given <= offered);
    while (depacketizer.Pop(&unit)) {
      Check(unit.bytes.size() >= 5 &&
            unit.bytes.size() <= device::RtpDepacketizer::kMaxAccessUnitBytes);
      Check(unit.bytes[0] == 0 && unit.bytes[1] == 0 && unit.bytes[2] == 0 && unit.bytes[3] == 1);
    }
  }
  Check(report.Build().size() % 4 == 0);
  return 0;
}
