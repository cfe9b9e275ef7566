#include "platform/player/decoded_picture.h"

#include <algorithm>
#include <cmath>
#include <new>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace player {

std::shared_ptr<const DecodedPicture> DecodedPicture::Share(const AVFrame& frame) {
  AVFrame* reference = av_frame_clone(&frame);
  if (reference == nullptr) {
    return nullptr;
  }
  auto* picture = new (std::nothrow) DecodedPicture(reference);
  if (picture == nullptr) {
    av_frame_free(&reference);
    return nullptr;
  }
  return std::shared_ptr<const DecodedPicture>(picture);
}

DecodedPicture::~DecodedPicture() {
  AVFrame* frame = frame_;
  av_frame_free(&frame);
}

int DecodedPicture::Width() const { return frame_->width; }
int DecodedPicture::Height() const { return frame_->height; }
int64_t DecodedPicture::Pts() const { return frame_->pts == AV_NOPTS_VALUE ? -1 : frame_->pts; }

double DecodedPicture::DisplayAspect() const {
  if (frame_->width <= 0 || frame_->height <= 0) {
    return 0;
  }
  const AVRational sample = frame_->sample_aspect_ratio;
  // 0/1 means unknown: square pixels, as nearly every camera sends.
  const double pixelAspect = sample.num > 0 && sample.den > 0 ? av_q2d(sample) : 1.0;
  return pixelAspect * frame_->width / frame_->height;
}

PlaceRect FitPicture(double displayAspect, int surfaceWidth, int surfaceHeight) {
  PlaceRect place;
  if (!(displayAspect > 0) || surfaceWidth <= 0 || surfaceHeight <= 0) {
    return place;
  }
  if (surfaceWidth >= displayAspect * surfaceHeight) {
    // Surface wider than the picture: bars left and right.
    place.height = surfaceHeight;
    place.width = static_cast<int>(std::lround(displayAspect * surfaceHeight));
  } else {
    // Narrower: bars above and below.
    place.width = surfaceWidth;
    place.height = static_cast<int>(std::lround(surfaceWidth / displayAspect));
  }
  place.width = std::max(1, std::min(place.width, surfaceWidth));
  place.height = std::max(1, std::min(place.height, surfaceHeight));
  place.x = (surfaceWidth - place.width) / 2;
  place.y = (surfaceHeight - place.height) / 2;
  return place;
}

PictureConverter::~PictureConverter() { sws_freeContext(sws_); }

bool PictureConverter::Convert(const AVFrame& picture, uint8_t* pixels, int strideBytes, int width,
                               int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || picture.width <= 0 ||
      picture.height <= 0) {
    return false;
  }
  // Bilinear: smooth enough for a picture enlarged to full screen; it costs
  // nothing extra when the sizes match (plain colour conversion then).
  sws_ = sws_getCachedContext(sws_, picture.width, picture.height,
                              static_cast<AVPixelFormat>(picture.format), width, height,
                              AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (sws_ == nullptr) {
    return false;
  }
  // BGRA in memory is QImage::Format_RGB32 on little-endian machines; the
  // alpha swscale writes is 0xFF, as that format wants.
  uint8_t* planes[4] = {pixels, nullptr, nullptr, nullptr};
  const int strides[4] = {strideBytes, 0, 0, 0};
  return sws_scale(sws_, picture.data, picture.linesize, 0, picture.height, planes, strides) ==
         height;
}

}  // namespace player
