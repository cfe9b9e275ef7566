#include "platform/player/jpeg_writer.h"

#include <turbojpeg.h>

#include <array>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace player {
namespace {

// Snapshot quality: 90 keeps fine detail (faces, text) at about a tenth of
// the raw picture's size.
constexpr int kJpegQuality = 90;

// Decoders give limited-range samples (luma 16..235, chroma 16..240) unless
// the stream says otherwise; JPEG readers expect 0..255. Without this mapping
// white is saved as 235 and black as 16.
struct RangeTables {
  std::array<uint8_t, 256> luma{};
  std::array<uint8_t, 256> chroma{};
  RangeTables() {
    for (int v = 0; v < 256; ++v) {
      luma[v] = Clamp(((v - 16) * 255 + 109) / 219);
      chroma[v] = Clamp(128 + ((v - 128) * 255 + (v >= 128 ? 112 : -112)) / 224);
    }
  }
  static uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
};

const RangeTables& Tables() {
  static const RangeTables tables;
  return tables;
}

void MapPlane(const uint8_t* from, int fromStride, uint8_t* to, int width, int height,
              const std::array<uint8_t, 256>& table) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = from + static_cast<ptrdiff_t>(y) * fromStride;
    uint8_t* dst = to + static_cast<ptrdiff_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      dst[x] = table[src[x]];
    }
  }
}

bool IsFullRange(const AVFrame& frame) {
  return frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

JpegWriter::~JpegWriter() { Release(); }

void JpegWriter::Release() {
  if (tj_ != nullptr) {
    tjDestroy(tj_);
    tj_ = nullptr;
  }
  tjFree(jpeg_);
  jpeg_ = nullptr;
  jpegCapacity_ = 0;
  sws_freeContext(sws_);
  sws_ = nullptr;
  std::vector<uint8_t>().swap(scratch_);
}

bool JpegWriter::FullRangePlanes(const AVFrame& frame, const uint8_t* planes[3], int strides[3]) {
  const int width = frame.width;
  const int height = frame.height;
  const int chromaWidth = (width + 1) / 2;
  const int chromaHeight = (height + 1) / 2;
  const bool is420 = frame.format == AV_PIX_FMT_YUV420P || frame.format == AV_PIX_FMT_YUVJ420P;
  if (is420 && IsFullRange(frame)) {
    for (int i = 0; i < 3; ++i) {
      planes[i] = frame.data[i];
      strides[i] = frame.linesize[i];
    }
    return true;
  }
  const size_t lumaBytes = static_cast<size_t>(width) * height;
  const size_t chromaBytes = static_cast<size_t>(chromaWidth) * chromaHeight;
  scratch_.resize(lumaBytes + 2 * chromaBytes);
  uint8_t* out[3] = {scratch_.data(), scratch_.data() + lumaBytes,
                     scratch_.data() + lumaBytes + chromaBytes};
  strides[0] = width;
  strides[1] = strides[2] = chromaWidth;
  for (int i = 0; i < 3; ++i) {
    planes[i] = out[i];
  }
  if (is420) {
    MapPlane(frame.data[0], frame.linesize[0], out[0], width, height, Tables().luma);
    MapPlane(frame.data[1], frame.linesize[1], out[1], chromaWidth, chromaHeight, Tables().chroma);
    MapPlane(frame.data[2], frame.linesize[2], out[2], chromaWidth, chromaHeight, Tables().chroma);
    return true;
  }
  // Any other layout (4:2:2, 4:4:4, high bit depth): swscale to full-range 4:2:0.
  const auto from = static_cast<AVPixelFormat>(frame.format);
  sws_ = sws_getCachedContext(sws_, width, height, from, width, height, AV_PIX_FMT_YUV420P,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (sws_ == nullptr) {
    return false;
  }
  const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
  sws_setColorspaceDetails(sws_, coefficients, IsFullRange(frame) ? 1 : 0, coefficients, 1, 0,
                           1 << 16, 1 << 16);
  return sws_scale(sws_, frame.data, frame.linesize, 0, height, out, strides) == height;
}

bool JpegWriter::Write(const AVFrame& frame, uint8_t* out, size_t capacityBytes,
                       size_t* jpegBytes) {
  if (frame.width <= 0 || frame.height <= 0) {
    return false;
  }
  if (tj_ == nullptr && (tj_ = tjInitCompress()) == nullptr) {
    return false;
  }
  const unsigned long worstCase = tjBufSize(frame.width, frame.height, TJSAMP_420);
  if (worstCase == static_cast<unsigned long>(-1)) {
    return false;
  }
  if (worstCase > jpegCapacity_) {
    tjFree(jpeg_);
    jpeg_ = tjAlloc(static_cast<int>(worstCase));
    jpegCapacity_ = jpeg_ != nullptr ? worstCase : 0;
    if (jpeg_ == nullptr) {
      return false;
    }
  }
  const uint8_t* planes[3] = {};
  int strides[3] = {};
  if (!FullRangePlanes(frame, planes, strides)) {
    return false;
  }
  // TurboJPEG writes into its own worst-case buffer (NOREALLOC: it never
  // grows it); only a JPEG that fits is copied to the caller.
  unsigned long size = jpegCapacity_;
  if (tjCompressFromYUVPlanes(tj_, planes, frame.width, strides, frame.height, TJSAMP_420, &jpeg_,
                              &size, kJpegQuality, TJFLAG_NOREALLOC) != 0) {
    return false;
  }
  if (size > capacityBytes) {
    return false;
  }
  std::memcpy(out, jpeg_, size);
  *jpegBytes = size;
  return true;
}

}  // namespace player
