// The port's MPEG-TS demuxer: follows PAT and PMT to the video stream (H.264
// or H.265) and joins its PES packets into whole pictures. A picture is handed
// on as soon as its last byte is in, never waiting for the next one, by the
// stream's contract (platform/stream/ts.h):
// - a PES that states its length ends when that many bytes are in;
// - a PES too long to state one (over 64 KiB, key frames) ends with the fed
//   piece whose last packet of the stream is padded;
// - at the latest, a PES ends when the next one starts.
// Pictures up to kMaxPictureBytes are joined whole, however many pieces and
// packets carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/stream/codec.h"
#include "platform/stream/ts.h"

namespace player {

// A record holds at most 4 MiB; no picture is larger.
constexpr size_t kMaxPictureBytes = 4u << 20;

struct DemuxedPicture {
  stream::VideoCodec codec = stream::VideoCodec::kNone;
  const uint8_t* bytes = nullptr;      // elementary stream; valid during the call only
  size_t size = 0;                     // bytes
  int64_t pts = stream::kNoTimestamp;  // 90 kHz
  int64_t dts = stream::kNoTimestamp;  // 90 kHz
};

class TsDemuxer {
 public:
  using Output = std::function<void(const DemuxedPicture&)>;
  explicit TsDemuxer(Output output);

  // Bytes of the stream, in order; a packet may be split between calls
  // inside one piece.
  void Feed(const uint8_t* data, size_t size);
  // The fed piece (one PlayM4_InputData) ended here; the next one starts with
  // a packet.
  void EndPiece();

  // PES packets given up: too large, or without a readable header.
  uint64_t DroppedPes() const { return droppedPes_; }
  // Bytes skipped to find the next sync byte.
  uint64_t SkippedBytes() const { return skippedBytes_; }

 private:
  void Packet(const uint8_t* packet);
  void ProgramTables(const uint8_t* packet);
  void VideoPacket(const uint8_t* packet);
  // Hands the PES joined so far on as a picture (if it is one) and forgets it.
  void EndPes();

  const Output output_;
  uint8_t partial_[stream::kTsPacketBytes] = {};  // a packet split between feeds
  size_t partialBytes_ = 0;
  unsigned pmtPid_ = stream::kNoPid;
  unsigned videoPid_ = stream::kNoPid;
  stream::VideoCodec codec_ = stream::VideoCodec::kNone;
  std::vector<uint8_t> pes_;  // the PES being joined, from its start code; at most kMaxPesBytes
  bool joining_ = false;      // pes_ holds the start of a PES
  bool lastPadded_ = false;   // the last packet joined was padded
  uint64_t droppedPes_ = 0;
  uint64_t skippedBytes_ = 0;
};

}  // namespace player
