// Turns a decoded picture into the 32-bit pixels a video sink paints, scaled
// to the size the sink asks for. Used by one decode thread.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/player/video_sink.h"

struct SwsContext;

namespace player {

class SinkPainter {
 public:
  SinkPainter() = default;
  ~SinkPainter();
  SinkPainter(const SinkPainter&) = delete;
  SinkPainter& operator=(const SinkPainter&) = delete;

  // Converts frame and hands it to sink. False, with nothing handed on, when
  // the picture cannot be converted.
  bool Paint(const AVFrame& frame, VideoSink& sink);

 private:
  SwsContext* sws_ = nullptr;   // cached for the last source and surface sizes
  std::vector<uint8_t> pixels_;  // the converted picture, reused between pictures
};

}  // namespace player
