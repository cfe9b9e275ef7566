// Snapshots: a decoded picture as a full-range 4:2:0 JPEG file image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace player {

class JpegWriter {
 public:
  JpegWriter() = default;
  ~JpegWriter();
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  // Encodes frame into out (capacityBytes). False, with nothing written to
  // out, when the JPEG does not fit or cannot be made; *jpegBytes is set only
  // on success.
  bool Write(const AVFrame& frame, uint8_t* out, size_t capacityBytes, size_t* jpegBytes);
  // Gives back the scratch memory (the port closes).
  void Release();

 private:
  // Full-range 4:2:0 planes of frame: its own planes when it already is one,
  // else this writer's scratch planes. False for a picture it cannot convert.
  bool FullRangePlanes(const AVFrame& frame, const uint8_t* planes[3], int strides[3]);

  void* tj_ = nullptr;              // TurboJPEG compressor, made on first use
  unsigned char* jpeg_ = nullptr;   // TurboJPEG's output buffer
  unsigned long jpegCapacity_ = 0;  // bytes in jpeg_, enough for the worst case of one size
  std::vector<uint8_t> scratch_;    // Y, U and V planes, packed
  SwsContext* sws_ = nullptr;       // for pictures that are not 4:2:0
};

}  // namespace player
