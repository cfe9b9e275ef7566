// A video sink that keeps, for every picture the player hands it, the
// picture's time stamp and when it came. Pictures come on the player's
// threads; the test reads them on its own.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/player/decoded_picture.h"
#include "platform/player/video_sink.h"

namespace integration {

class PtsSink : public player::VideoSink {
 public:
  struct Seen {
    int64_t pts;  // 90 kHz, -1 for none
    std::chrono::steady_clock::time_point at;
  };

  bool TakesDecodedPictures() const override { return true; }
  void OnDecodedPicture(const player::PictureRef& picture) override {
    const auto at = std::chrono::steady_clock::now();  // first: the moment it came
    std::lock_guard<std::mutex> lock(m_mutex);
    m_seen.push_back({picture->Pts(), at});
  }

  std::vector<Seen> All() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
  }
  bool HasPts(int64_t pts) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_seen.begin(), m_seen.end(), [pts](const Seen& s) { return s.pts == pts; });
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_seen.clear();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Seen> m_seen;  // in the order they came
};

}  // namespace integration
