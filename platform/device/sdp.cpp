#include "platform/device/sdp.h"

#include <cstdlib>
#include <span>
#include <utility>

extern "C" {
#include <libavutil/base64.h>
}

#include "platform/device/rtsp_message.h"
#include "platform/device/text.h"

namespace device {
namespace {

// Parameter sets are a few dozen bytes; more than this in one is garbage.
constexpr size_t kMaxParameterSetBytes = 4096;

// Appends each base64 item of a comma-separated list with a start code.
void AppendParameterSets(std::string_view list, std::vector<uint8_t>* out) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string item(Trim(list.substr(0, comma)));
    if (!item.empty() && item.size() <= kMaxParameterSetBytes * 4 / 3 + 4) {
      std::vector<uint8_t> decoded(item.size());
      const int size =
          av_base64_decode(decoded.data(), item.c_str(), static_cast<int>(decoded.size()));
      if (size > 0) {
        out->insert(out->end(), {0, 0, 0, 1});
        out->insert(out->end(), decoded.begin(), decoded.begin() + size);
      }
    }
    if (comma == std::string_view::npos) {
      break;
    }
    list.remove_prefix(comma + 1);
  }
}

// The fmtp parameters "a; b=c; ..." that carry parameter sets, in the order a
// decoder needs them (VPS, SPS, PPS).
std::vector<uint8_t> ParameterSetsOf(std::string_view fmtp, VideoCodec codec) {
  static constexpr std::string_view kH264[] = {"sprop-parameter-sets"};
  static constexpr std::string_view kH265[] = {"sprop-vps", "sprop-sps", "sprop-pps"};
  const std::span<const std::string_view> names = codec == VideoCodec::kH264
                                                      ? std::span<const std::string_view>(kH264)
                                                      : std::span<const std::string_view>(kH265);
  std::vector<uint8_t> sets;
  for (const std::string_view wanted : names) {
    AppendParameterSets(HeaderParameter(fmtp, wanted), &sets);
  }
  return sets;
}

struct Medium {
  bool video = false;
  std::vector<int> payloadTypes;  // from the m= line
  int chosenType = -1;            // the payload type mapped to H.264/H.265
  VideoCodec codec = VideoCodec::kH264;
  int clockRate = 90000;
  std::string control;
  std::vector<std::pair<int, std::string>> fmtps;  // (payload type, parameters)
};

bool IsListed(const Medium& medium, int type) {
  for (const int listed : medium.payloadTypes) {
    if (listed == type) {
      return true;
    }
  }
  return false;
}

// a=rtpmap:<pt> <codec>/<clock>
void TakeRtpmap(std::string_view value, Medium* medium) {
  const int type = std::atoi(std::string(value).c_str());
  const size_t space = value.find(' ');
  if (medium->chosenType >= 0 || space == std::string_view::npos || !IsListed(*medium, type)) {
    return;
  }
  const std::string_view encoding = Trim(value.substr(space + 1));
  const size_t slash = encoding.find('/');
  const std::string_view name = encoding.substr(0, slash);
  if (EqualsNoCase(name, "H264")) {
    medium->codec = VideoCodec::kH264;
  } else if (EqualsNoCase(name, "H265") || EqualsNoCase(name, "HEVC")) {
    medium->codec = VideoCodec::kH265;
  } else {
    return;
  }
  medium->chosenType = type;
  if (slash != std::string_view::npos) {
    const int clock = std::atoi(std::string(encoding.substr(slash + 1)).c_str());
    medium->clockRate = clock > 0 ? clock : 90000;
  }
}

bool Usable(const Medium& medium) { return medium.video && medium.chosenType >= 0; }

}  // namespace

bool ParseSdpVideo(std::string_view sdp, SdpVideo* video) {
  Medium medium;
  bool inMedium = false;
  auto finish = [&]() {
    if (!Usable(medium)) {
      return false;
    }
    video->codec = medium.codec;
    video->payloadType = medium.chosenType;
    video->clockRate = medium.clockRate;
    video->control = medium.control;
    video->parameterSets.clear();
    for (const auto& [type, parameters] : medium.fmtps) {
      if (type == medium.chosenType) {
        video->parameterSets = ParameterSetsOf(parameters, medium.codec);
        break;
      }
    }
    return true;
  };
  while (!sdp.empty()) {
    const size_t newline = sdp.find('\n');
    const std::string_view line = Trim(sdp.substr(0, newline));
    sdp.remove_prefix(newline == std::string_view::npos ? sdp.size() : newline + 1);
    if (line.rfind("m=", 0) == 0) {
      if (inMedium && finish()) {
        return true;
      }
      medium = Medium{};
      inMedium = true;
      // m=video <port> RTP/AVP <pt> [<pt>...]
      std::string_view rest = line.substr(2);
      int field = 0;
      while (!rest.empty()) {
        const size_t space = rest.find(' ');
        const std::string_view word = rest.substr(0, space);
        if (field == 0) {
          medium.video = word == "video";
        } else if (field >= 3 && medium.payloadTypes.size() < 32) {
          medium.payloadTypes.push_back(std::atoi(std::string(word).c_str()));
        }
        ++field;
        rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
      }
    } else if (inMedium && medium.video && line.rfind("a=", 0) == 0) {
      const std::string_view attribute = line.substr(2);
      if (attribute.rfind("rtpmap:", 0) == 0) {
        TakeRtpmap(attribute.substr(7), &medium);
      } else if (attribute.rfind("control:", 0) == 0) {
        medium.control = std::string(Trim(attribute.substr(8)));
      } else if (attribute.rfind("fmtp:", 0) == 0) {
        const std::string_view value = attribute.substr(5);
        const size_t space = value.find(' ');
        if (space != std::string_view::npos && medium.fmtps.size() < 32) {
          medium.fmtps.emplace_back(std::atoi(std::string(value.substr(0, space)).c_str()),
                                    std::string(value.substr(space + 1)));
        }
      }
    }
  }
  return inMedium && finish();
}

std::string ResolveControl(std::string_view base, std::string_view control) {
  if (control.empty() || control == "*") {
    return std::string(base);
  }
  if (control.rfind("rtsp://", 0) == 0 || control.rfind("RTSP://", 0) == 0) {
    return std::string(control);
  }
  std::string url(base);
  if (!url.empty() && url.back() == '/') {
    url.pop_back();
  }
  if (control.front() == '/') {
    control.remove_prefix(1);
  }
  return url + "/" + std::string(control);
}

}  // namespace device
