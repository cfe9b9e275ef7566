// NAL units of H.264 and H.265 in Annex B form (each behind a 3- or 4-byte
// start code): their types, and which of them a decoder can start at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/stream/codec.h"

namespace stream {

// H.264 NAL unit types (the low 5 bits of the header byte).
constexpr int kH264SliceNonIdr = 1;
constexpr int kH264SliceIdr = 5;
constexpr int kH264Sps = 7;
constexpr int kH264StapA = 24;  // RTP aggregation (RFC 6184)
constexpr int kH264FuA = 28;    // RTP fragmentation
// H.265 NAL unit types (bits 1..6 of the first header byte).
constexpr int kH265FirstIrap = 16;  // BLA, IDR and CRA: 16 to 21
constexpr int kH265LastIrap = 21;
constexpr int kH265FirstNonSlice = 32;
constexpr int kH265Sps = 33;
constexpr int kH265Aggregation = 48;  // RTP (RFC 7798)
constexpr int kH265Fragment = 49;

// The type of the NAL unit whose header starts at `header`.
inline int NalType(VideoCodec codec, const uint8_t* header) {
  return codec == VideoCodec::kH264 ? header[0] & 0x1F : (header[0] >> 1) & 0x3F;
}
inline size_t NalHeaderBytes(VideoCodec codec) { return codec == VideoCodec::kH264 ? 1 : 2; }

// A picture a decoder can start at: an H.264 IDR slice, an H.265 IRAP one.
bool IsKeyNal(VideoCodec codec, const uint8_t* header);
bool IsSliceNal(VideoCodec codec, const uint8_t* header);
bool IsSpsNal(VideoCodec codec, const uint8_t* header);

// Calls `each` with every NAL unit of Annex B `bytes` (header first, start
// code left off), in order.
void ForEachNal(const uint8_t* bytes, size_t size,
                const std::function<void(const uint8_t* nal, size_t size)>& each);

// Whether the first slice of the access unit in `bytes` starts a key frame.
bool StartsKeyFrame(VideoCodec codec, const uint8_t* bytes, size_t size);

}  // namespace stream
