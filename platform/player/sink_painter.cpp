#include "platform/player/sink_painter.h"

namespace player {
namespace {

constexpr int kBytesPerPixel = 4;

}  // namespace

bool SinkPainter::Paint(const AVFrame& frame, VideoSink& sink) {
  SurfaceSize surface = sink.Surface();
  if (surface.width == 0 && surface.height == 0) {
    surface = {frame.width, frame.height};
  }
  if (surface.width <= 0 || surface.height <= 0 || surface.width > PictureConverter::kMaxSide ||
      surface.height > PictureConverter::kMaxSide) {
    return false;
  }
  const int stride = surface.width * kBytesPerPixel;
  pixels_.resize(static_cast<size_t>(stride) * surface.height);
  if (!converter_.Convert(frame, pixels_.data(), stride, surface.width, surface.height)) {
    return false;
  }
  VideoPicture picture;
  picture.width = surface.width;
  picture.height = surface.height;
  picture.strideBytes = stride;
  picture.pixels = pixels_.data();
  sink.OnPicture(picture);
  return true;
}

}  // namespace player
