#include "platform/stream/nal.h"

namespace stream {

bool IsKeyNal(VideoCodec codec, const uint8_t* header) {
  const int type = NalType(codec, header);
  return codec == VideoCodec::kH264 ? type == kH264SliceIdr
                                    : type >= kH265FirstIrap && type <= kH265LastIrap;
}

bool IsSliceNal(VideoCodec codec, const uint8_t* header) {
  const int type = NalType(codec, header);
  return codec == VideoCodec::kH264 ? type >= kH264SliceNonIdr && type <= kH264SliceIdr
                                    : type < kH265FirstNonSlice;
}

bool IsSpsNal(VideoCodec codec, const uint8_t* header) {
  return NalType(codec, header) == (codec == VideoCodec::kH264 ? kH264Sps : kH265Sps);
}

void ForEachNal(const uint8_t* bytes, size_t size,
                const std::function<void(const uint8_t* nal, size_t size)>& each) {
  // Start of the unit being walked (after its start code), none yet.
  size_t start = size;
  for (size_t at = 0; at + 3 <= size;) {
    if (bytes[at] != 0 || bytes[at + 1] != 0 || bytes[at + 2] != 1) {
      ++at;
      continue;
    }
    if (start < size) {
      // A 4-byte start code's leading zero belongs to the code, not the unit.
      size_t end = at;
      while (end > start && bytes[end - 1] == 0) {
        --end;
      }
      each(bytes + start, end - start);
    }
    at += 3;
    start = at;
  }
  if (start < size) {
    each(bytes + start, size - start);
  }
}

bool StartsKeyFrame(VideoCodec codec, const uint8_t* bytes, size_t size) {
  bool decided = false;
  bool key = false;
  ForEachNal(bytes, size, [&](const uint8_t* nal, size_t nalSize) {
    if (!decided && nalSize >= NalHeaderBytes(codec) && IsSliceNal(codec, nal)) {
      decided = true;
      key = IsKeyNal(codec, nal);
    }
  });
  return key;
}

}  // namespace stream
