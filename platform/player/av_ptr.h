// Owning pointers for the FFmpeg objects the player keeps.
#pragma once

#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

namespace player {

struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

}  // namespace player
