// Turns a decoded picture into the 32-bit pixels of a sink that asks for
// them ready-made, scaled to the size the sink asks for. Used by one decode
// thread. (A sink that takes the decoded picture itself converts it when it
// paints, and this is not used for it.)
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/player/decoded_picture.h"
#include "platform/player/video_sink.h"

namespace player {

class SinkPainter {
 public:
  // Converts frame and hands it to sink. False, with nothing handed on, when
  // the picture cannot be converted.
  bool Paint(const AVFrame& frame, VideoSink& sink);

 private:
  PictureConverter converter_;
  std::vector<uint8_t> pixels_;  // the converted picture, reused between pictures
};

}  // namespace player
