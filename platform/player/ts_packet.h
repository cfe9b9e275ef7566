// Reading the fields of one 188-byte MPEG-TS packet and the PSI section that
// starts in it; shared by the header check and the demuxer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace player {

constexpr size_t kTsPacketBytes = 188;
constexpr uint8_t kTsSyncByte = 0x47;
constexpr unsigned kPatPid = 0;
constexpr uint8_t kPatTableId = 0x00;
constexpr uint8_t kPmtTableId = 0x02;
constexpr size_t kSectionCrcBytes = 4;

inline unsigned PacketPid(const uint8_t* packet) { return ((packet[1] & 0x1F) << 8) | packet[2]; }
inline bool PacketStartsUnit(const uint8_t* packet) { return (packet[1] & 0x40) != 0; }

// Where the payload of a packet starts and how long it is; none when the
// packet carries none or its adaptation field overruns it.
struct Payload {
  size_t offset = 0;  // bytes from the packet start
  size_t size = 0;    // bytes
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

}  // namespace player
