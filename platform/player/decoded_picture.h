// A decoded picture shared between the player and the window that paints it,
// and the one conversion it goes through on its way to the screen. No FFmpeg
// or Qt in this header: the window side sees sizes and 32-bit pixels only.
#pragma once

#include <cstdint>
#include <memory>

struct AVFrame;
struct SwsContext;

namespace player {

// A reference to the decoder's frame, not a copy; immutable once shared.
class DecodedPicture {
 public:
  // A new reference to frame; null when it cannot be taken (out of memory).
  static std::shared_ptr<const DecodedPicture> Share(const AVFrame& frame);
  ~DecodedPicture();
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;

  int Width() const;   // pixels
  int Height() const;  // pixels
  // The time stamp its stream gave it (90 kHz, 33 bits), -1 for none: which
  // picture of the stream this is.
  int64_t Pts() const;
  // Width over height as the picture is meant to be seen (its pixels may not
  // be square).
  double DisplayAspect() const;
  const AVFrame& Frame() const { return *frame_; }

 private:
  explicit DecodedPicture(AVFrame* frame) : frame_(frame) {}
  AVFrame* const frame_;
};

using PictureRef = std::shared_ptr<const DecodedPicture>;

// Where a picture goes on a surface: as large as fits with its aspect kept,
// centred; the rest of the surface is bars.
struct PlaceRect {
  int x = 0, y = 0;           // pixels from the surface's top left
  int width = 0, height = 0;  // pixels; 0 when nothing fits
};
PlaceRect FitPicture(double displayAspect, int surfaceWidth, int surfaceHeight);

// Converts and scales pictures into 32-bit pixels laid out as
// QImage::Format_RGB32 expects them (bytes B, G, R, 0xFF). Keeps its scaler
// from one picture to the next; use one converter per thread.
class PictureConverter {
 public:
  // Larger targets than this are refused rather than allocated (8K).
  static constexpr int kMaxSide = 8192;  // pixels

  PictureConverter() = default;
  ~PictureConverter();
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // Writes picture scaled to width x height at pixels (strideBytes a row).
  // False, leaving pixels in an unknown state, when it cannot.
  bool Convert(const AVFrame& picture, uint8_t* pixels, int strideBytes, int width, int height);

 private:
  SwsContext* sws_ = nullptr;  // cached for the last source and target sizes
};

}  // namespace player
