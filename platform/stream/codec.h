// The video codecs the stream carries, shared by every layer that reads it.
#pragma once

#include <cstdint>

namespace stream {

enum class VideoCodec { kNone, kH264, kH265 };

// PMT stream types of the two codecs (ISO/IEC 13818-1).
constexpr uint8_t kStreamTypeH264 = 0x1B;
constexpr uint8_t kStreamTypeH265 = 0x24;

inline VideoCodec CodecOfStreamType(uint8_t type) {
  return type == kStreamTypeH264   ? VideoCodec::kH264
         : type == kStreamTypeH265 ? VideoCodec::kH265
                                   : VideoCodec::kNone;
}

}  // namespace stream
