// Test streams as the device layer delivers them: H.264 (libx264) or H.265
// (libx265) muxed to MPEG-TS in memory, split into the header (the leading PSI
// packets) and one chunk of whole TS packets per encoded picture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace playertest {

struct TsStream {
  std::vector<uint8_t> header;               // leading PAT/PMT/SDT packets
  std::vector<std::vector<uint8_t>> chunks;  // chunk i holds the packets of picture i (decode order)
  int reorderedPictures = 0;  // pictures shown before one decoded earlier (B-frames)
};

enum class Codec { kH264, kH265 };

// "h264" or "h265", for test names and file names.
const char* CodecName(Codec codec);

struct EncodeSettings {
  Codec codec = Codec::kH264;
  int width = 320;           // pixels
  int height = 240;          // pixels
  int framesPerSecond = 25;
  int64_t bitRate = 0;       // bits/s; 0 for constant quality
  int keyInterval = 25;      // pictures from one key frame to the next
  const char* preset = "ultrafast";
  int threads = 1;
  int bFrames = 0;           // B-frames between reference pictures, as some cameras send
};

// Fills a YUV 4:2:0 frame (limited range) for picture index.
using Painter = std::function<void(int index, AVFrame& frame)>;

class TsMaker {
 public:
  TsMaker();
  ~TsMaker();
  TsMaker(const TsMaker&) = delete;
  TsMaker& operator=(const TsMaker&) = delete;

  // Encodes count pictures with a fresh encoder (so a new segment may change
  // the picture size) into the same transport stream. False on any failure.
  bool AddSegment(const EncodeSettings& settings, int count, const Painter& paint);
  // The stream so far.
  const TsStream& Stream() const { return stream_; }

 private:
  struct Muxer;
  std::unique_ptr<Muxer> muxer_;
  TsStream stream_;
  // Time stamps of a segment start this many pictures after the last one
  // ended, so that with B-frames (dts before pts) dts still only grows.
  static constexpr int kSegmentGapPictures = 4;
  int64_t nextPts_ = kSegmentGapPictures;  // in pictures, across segments
  int64_t latestPts_ = -1;                  // in pictures: the latest encoded so far
};

// Solid colour from RGB, as a camera would encode it (BT.601, limited range).
void PaintSolid(AVFrame& frame, int red, int green, int blue);
// Solid colour in a box of half the width and height in the middle.
void PaintSolidCentre(AVFrame& frame, int red, int green, int blue);
// A moving pattern with detail, so pictures differ from each other.
void PaintPattern(int index, AVFrame& frame);
// Random values over the whole range in every plane, the same for a seed:
// the costliest content there is (huge key frames).
void PaintFullNoise(AVFrame& frame, uint32_t seed);
// Pattern plus random noise: costly content for benchmarks.
void PaintNoisyMotion(int index, AVFrame& frame, uint32_t seed);

// Convenience: one segment, whole stream.
TsStream MakeStream(const EncodeSettings& settings, int count, const Painter& paint);

}  // namespace playertest
