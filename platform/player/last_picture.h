// The last picture a port decoded, kept for its size and for snapshots while
// the decode thread goes on. Holds a reference, not a copy.
#pragma once

#include <mutex>

#include "platform/player/av_ptr.h"

namespace player {

class LastPicture {
 public:
  // Keeps a reference to frame in place of the previous picture.
  void Keep(const AVFrame& frame);
  // Width and height in pixels; false before the first picture.
  bool Size(int* width, int* height) const;
  // A new reference to the picture; null before the first picture.
  FramePtr Take() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  FramePtr frame_;  // guarded by mutex_
};

}  // namespace player
