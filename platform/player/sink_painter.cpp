#include "platform/player/sink_painter.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace player {
namespace {

// Larger surfaces than this are refused rather than allocated (8K, 256 MiB of pixels).
constexpr int kMaxSurfaceSide = 8192;  // pixels
constexpr int kBytesPerPixel = 4;

}  // namespace

SinkPainter::~SinkPainter() { sws_freeContext(sws_); }

bool SinkPainter::Paint(const AVFrame& frame, VideoSink& sink) {
  SurfaceSize surface = sink.Surface();
  if (surface.width == 0 && surface.height == 0) {
    surface = {frame.width, frame.height};
  }
  if (surface.width <= 0 || surface.height <= 0 || surface.width > kMaxSurfaceSide ||
      surface.height > kMaxSurfaceSide || frame.width <= 0 || frame.height <= 0) {
    return false;
  }
  // Bilinear: smooth enough for a picture stretched to full screen; it costs
  // nothing extra when the sizes match (plain colour conversion then).
  sws_ = sws_getCachedContext(sws_, frame.width, frame.height,
                              static_cast<AVPixelFormat>(frame.format), surface.width,
                              surface.height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                              nullptr);
  if (sws_ == nullptr) {
    return false;
  }
  // BGRA in memory is QImage::Format_RGB32 on little-endian machines; the
  // alpha swscale writes is 0xFF, as that format wants.
  const int stride = surface.width * kBytesPerPixel;
  pixels_.resize(static_cast<size_t>(stride) * surface.height);
  uint8_t* planes[4] = {pixels_.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {stride, 0, 0, 0};
  if (sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, planes, strides) !=
      surface.height) {
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
