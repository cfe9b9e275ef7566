// The media pipeline of one stream of the demo camera, as a launch description
// for the RTSP server's media factory.
#pragma once

#include <string>

#include "tools/democam/options.h"

namespace democam {

// Element names that the media-configure handlers look up in a built media.
inline constexpr const char* kClockElement = "clock";       // the text overlay
inline constexpr const char* kStripElement = "strip";       // where the clock strip is drawn
inline constexpr const char* kParameterElement = "params";  // the video parser

struct StreamShape {
  int width = 0;
  int height = 0;
  int fps = 0;
  int bitrateKbps = 0;
  VideoCodec codec = VideoCodec::kH264;
  int bframes = 0;
  ParameterSets params = ParameterSets::kInband;
  AudioCodec audio = AudioCodec::kNone;
  ClockDrawing clock = ClockDrawing::kBoth;
};

std::string LaunchLine(const StreamShape& shape);

}  // namespace democam
