// The layout of a fuzz_device input, shared by the fuzzer that reads it and
// by make_corpus that writes the seeds. All numbers little-endian.
//
//   u16 time base numerator, u32 denominator (0 stands for 1 and 90000)
//   u16 width, u16 height      pixels, as the camera's SDP gives them
//   u16 n, n bytes             extradata (SPS/PPS as the SDP carries them)
//   then packets to the end:
//     u8 flags                 kKeyFrame, kHasPts, kReconnect
//     i64 pts                  only with kHasPts, in the time base
//     u16 n, n bytes           the packet's data
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzdevice {

constexpr uint8_t kKeyFrame = 0x01;
constexpr uint8_t kHasPts = 0x02;
constexpr uint8_t kReconnect = 0x04;  // a new connection starts before this packet

// Reads the fields in order; past the end every field reads as zero bytes.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return at_ >= size_; }
  uint64_t Unsigned(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      value |= static_cast<uint64_t>(at_ < size_ ? data_[at_] : 0) << (8 * i);
      ++at_;
    }
    return value;
  }
  // Up to n bytes: fewer when the input ends first.
  const uint8_t* Bytes(size_t n, size_t* got) {
    const size_t start = at_ < size_ ? at_ : size_;
    *got = n < size_ - start ? n : size_ - start;
    at_ = start + *got;
    return data_ + start;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Appends the fields in the same order.
inline void PutUnsigned(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

}  // namespace fuzzdevice
