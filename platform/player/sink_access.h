// The decode thread's side of the video-sink registry.
#pragma once

#include <functional>

#include "platform/player/video_sink.h"

namespace player {

// Runs use(sink) with the sink registered for window, keeping the sink from
// being unregistered until use returns. False (use not called) when the window
// has no sink.
bool WithVideoSink(HWND window, const std::function<void(VideoSink&)>& use);

}  // namespace player
