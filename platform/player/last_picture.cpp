#include "platform/player/last_picture.h"

namespace player {

void LastPicture::Keep(const AVFrame& frame) {
  FramePtr copy(av_frame_clone(&frame));
  if (!copy) {
    return;  // out of memory: the older picture stays
  }
  std::lock_guard<std::mutex> lock(mutex_);
  frame_.swap(copy);
  // The old reference is released outside the lock, when copy goes.
}

bool LastPicture::Size(int* width, int* height) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frame_) {
    return false;
  }
  *width = frame_->width;
  *height = frame_->height;
  return true;
}

FramePtr LastPicture::Take() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FramePtr(frame_ ? av_frame_clone(frame_.get()) : nullptr);
}

void LastPicture::Clear() {
  FramePtr old;
  std::lock_guard<std::mutex> lock(mutex_);
  frame_.swap(old);
}

}  // namespace player
