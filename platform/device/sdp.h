// The one video stream of a device's session description: its codec, RTP
// payload type and clock, control address and the parameter sets the SDP may
// carry. Every other media line (audio, data, a second video) is left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stream/codec.h"

namespace device {

// Only kH264 and kH265 are ever described.
using stream::VideoCodec;

struct SdpVideo {
  VideoCodec codec = VideoCodec::kH264;
  int payloadType = 96;
  int clockRate = 90000;
  std::string control;                 // a=control of the video medium, as written
  std::vector<uint8_t> parameterSets;  // VPS/SPS/PPS from the fmtp line, Annex B
};

// The first H.264 or H.265 video medium of `sdp`; false when there is none.
bool ParseSdpVideo(std::string_view sdp, SdpVideo* video);

// The address to SET UP: `control` as is when absolute, "*" or empty means
// `base` itself, otherwise `control` joined to `base` with one '/'.
std::string ResolveControl(std::string_view base, std::string_view control);

}  // namespace device
