// One byte range of a Range header ("bytes=0-1023", "bytes=500-",
// "bytes=-500"), as a video element asks for parts of a clip. Several ranges
// at once are not taken: the whole file is the answer then.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct ByteRange {
  uint64_t first = 0;  // bytes, inclusive
  uint64_t last = 0;   // bytes, inclusive
};

enum class RangeAsk { kWhole, kPart, kUnsatisfiable };

// What `header` asks of a file of `size` bytes; *range is set for kPart.
RangeAsk ParseByteRange(std::string_view header, uint64_t size, ByteRange* range);
