// Clips: an MPEG-TS stream held in memory (the header, then whole TS packets)
// remuxed, not re-encoded, into an MP4 file of its video. What it gives up on
// goes to stderr with the prefix "clip: ".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace clip {

struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;  // bytes
};

// Writes the video of `pieces` (read in order as one stream) to `path`,
// starting at its first key frame, time stamps from 0. False on any failure;
// whatever was written to `path` is then removed.
bool WriteMp4(const std::vector<Bytes>& pieces, const std::string& path);

}  // namespace clip
