// The stream as every layer sees it: MPEG-TS packets that carry one H.264 or
// H.265 video stream, one picture per PES. The device layer writes it; the
// player, the stream history and the clip writer read it with what is here.
//
// What one stream-data callback holds, the contract the player's demuxer
// relies on:
// - The stream header (the first callback, type 1) holds whole 188-byte
//   packets and nothing but tables: SDT, PAT and the PMT that PAT names, each
//   section starting and ending inside one packet.
// - Every later callback (type 2) holds whole 188-byte packets, each starting
//   with the sync byte, of the pieces of at most one picture, which may come
//   after repeated PAT and PMT packets.
// - A picture is one PES on the video PID. Its first packet starts the unit
//   (payload-unit start flag) and, on a key frame, carries the random-access
//   flag. The PES header has a PTS, and a DTS too where the two differ
//   (B-frames: DTS runs behind PTS by the stream's reordering).
// - A PES of under 64 KiB states its length. A longer one (key frames) states
//   0 and ends with the callback whose last video packet is padded with
//   adaptation-field stuffing. A picture larger than one callback (12,032
//   bytes) spans several, each ending on a full packet but the last.
// - So a PES ends at the end of a callback or, at the latest, where the next
//   one starts; never inside a callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/stream/codec.h"

namespace stream {

constexpr size_t kTsPacketBytes = 188;
constexpr uint8_t kTsSyncByte = 0x47;
constexpr unsigned kPatPid = 0x0000;
constexpr unsigned kSdtPid = 0x0011;
constexpr unsigned kNoPid = 0x2000;  // outside the 13-bit PID range
constexpr uint8_t kPatTableId = 0x00;
constexpr uint8_t kPmtTableId = 0x02;
constexpr size_t kSectionCrcBytes = 4;
constexpr int64_t kNoTimestamp = INT64_MIN;

inline unsigned PacketPid(const uint8_t* packet) { return ((packet[1] & 0x1F) << 8) | packet[2]; }
inline bool PacketStartsUnit(const uint8_t* packet) { return (packet[1] & 0x40) != 0; }
// The adaptation field's random-access flag: a key frame starts here.
bool PacketRandomAccess(const uint8_t* packet);

// Where the payload of a packet starts and how long it is; none when the
// packet carries none or its adaptation field overruns it.
struct Payload {
  size_t offset = 0;    // bytes from the packet start
  size_t size = 0;      // bytes
  bool padded = false;  // the adaptation field holds stuffing: a PES ends in this packet
};
std::optional<Payload> PacketPayload(const uint8_t* packet);

struct Section {
  unsigned pid = 0;
  const uint8_t* bytes = nullptr;  // from the table id to the end of the CRC
  size_t size = 0;                 // bytes
};
// The section that starts in this packet, if it starts and ends inside it
// with a good CRC (PAT and PMT of one program always do).
std::optional<Section> SectionIn(const uint8_t* packet);

// The PMT PIDs a PAT section names, in its order (program 0, the network
// PID, left out).
std::vector<unsigned> PmtPidsOf(const Section& pat);

struct VideoStream {
  unsigned pid = kNoPid;
  VideoCodec codec = VideoCodec::kNone;
};
// The first H.264 or H.265 stream a PMT section lists; none when it has none.
std::optional<VideoStream> VideoStreamOf(const Section& pmt);

// A PES header, read from its start code on.
struct PesHeader {
  uint8_t streamId = 0;
  size_t statedBytes = 0;  // bytes after the length field; 0 when not stated
  size_t dataOffset = 0;   // where the elementary stream starts, from the start code
  int64_t pts = kNoTimestamp;  // 90 kHz, 33 bits
  int64_t dts = kNoTimestamp;  // 90 kHz; the PTS when the header has none of its own
};
constexpr size_t kPesFixedBytes = 6;   // start code (3), stream id (1), length (2)
constexpr size_t kPesHeaderBytes = 9;  // ... then two flag bytes and the header data length
// None unless `size` bytes hold a start code, a header with its marker bits
// and the time stamps its flags announce.
std::optional<PesHeader> ReadPesHeader(const uint8_t* pes, size_t size);
inline bool IsVideoStreamId(uint8_t id) { return (id & 0xF0) == 0xE0; }
// A video PES starts here (start code and stream id), whatever its header holds.
inline bool StartsVideoPes(const uint8_t* pes, size_t size) {
  return size >= 4 && pes[0] == 0 && pes[1] == 0 && pes[2] == 1 && IsVideoStreamId(pes[3]);
}

}  // namespace stream
