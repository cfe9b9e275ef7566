// What a sequence parameter set says of the stream's reordering: how many
// pictures at most come before one that is shown earlier (B-frames). The
// device layer derives decode times from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/stream/codec.h"

namespace stream {

// Parameter sets are a few dozen bytes; one longer than this is not read.
constexpr size_t kMaxSpsBytes = 4096;

// The reorder depth an SPS NAL unit (header included) states: H.264's
// max_num_reorder_frames (VUI bitstream restriction; 0 for profiles without
// B-frames), H.265's sps_max_num_reorder_pics of its highest sub-layer. None
// when it states none or cannot be read.
std::optional<int> StatedReorderDepth(VideoCodec codec, const uint8_t* nal, size_t size);

// The same for the first SPS among the NAL units of an Annex B access unit.
std::optional<int> StatedReorderDepthIn(VideoCodec codec, const uint8_t* bytes, size_t size);

}  // namespace stream
