// A video sink that keeps, for every picture the player hands it, the tick at
// which it came (GetTickCount, ms) and the picture's size. Pictures come on the
// player's decode thread; the test reads them on its own.
#pragma once

#include <mutex>
#include <vector>

#include "platform/player/video_sink.h"
#include "platform/sys/clock.h"

namespace integration {

class CountingSink : public player::VideoSink {
 public:
  // The picture's own size: the sink sees the stream's size unscaled.
  player::SurfaceSize Surface() override { return {0, 0}; }

  void OnPicture(const player::VideoPicture& picture) override {
    const DWORD tick = GetTickCount();  // first thing: the moment the picture arrived
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ticks.push_back(tick);
    m_width = picture.width;
    m_height = picture.height;
  }

  // Arrival ticks of all pictures so far, in order.
  std::vector<DWORD> Ticks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ticks;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ticks.size();
  }
  // Size in pixels of the last picture; 0 x 0 before the first.
  void LastSize(int* width, int* height) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    *width = m_width;
    *height = m_height;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ticks.clear();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<DWORD> m_ticks;  // ms ticks, one per picture
  int m_width = 0;             // pixels
  int m_height = 0;            // pixels
};

}  // namespace integration
