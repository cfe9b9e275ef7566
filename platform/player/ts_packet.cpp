#include "platform/player/ts_packet.h"

extern "C" {
#include <libavutil/crc.h>
}

namespace player {
namespace {

constexpr size_t kPacketHeaderBytes = 4;
constexpr size_t kSectionHeaderBytes = 3;  // table id and section length
// Adaptation field flags and the bytes of the fields they announce.
constexpr uint8_t kPcrFlag = 0x10, kOpcrFlag = 0x08, kSpliceFlag = 0x04, kPrivateFlag = 0x02,
                  kExtensionFlag = 0x01;
constexpr size_t kClockReferenceBytes = 6;

// Stuffing bytes in an adaptation field of length bytes (after its length
// byte) at field; 0 when the field is only what its flags announce.
bool HasStuffing(const uint8_t* field, size_t length) {
  if (length == 0) {
    return true;  // a lone length byte: one byte of stuffing
  }
  const uint8_t flags = field[0];
  size_t used = 1;
  used += (flags & kPcrFlag) ? kClockReferenceBytes : 0;
  used += (flags & kOpcrFlag) ? kClockReferenceBytes : 0;
  used += (flags & kSpliceFlag) ? 1 : 0;
  if ((flags & kPrivateFlag) && used < length) {
    used += 1 + field[used];
  }
  if ((flags & kExtensionFlag) && used < length) {
    used += 1 + field[used];
  }
  // A field that only carries an empty flags byte exists to pad, too.
  return used < length || (length == 1 && flags == 0);
}

}  // namespace

std::optional<Payload> PacketPayload(const uint8_t* packet) {
  const unsigned control = (packet[3] >> 4) & 0x3;
  if ((control & 0x1) == 0) {
    return std::nullopt;
  }
  Payload payload;
  payload.offset = kPacketHeaderBytes;
  if (control & 0x2) {
    const size_t length = packet[4];
    payload.offset += 1 + length;
    if (payload.offset >= kTsPacketBytes) {
      return std::nullopt;
    }
    payload.padded = HasStuffing(packet + 5, length);
  }
  payload.size = kTsPacketBytes - payload.offset;
  return payload;
}

std::optional<Section> SectionIn(const uint8_t* packet) {
  const std::optional<Payload> payload = PacketPayload(packet);
  if (!PacketStartsUnit(packet) || !payload) {
    return std::nullopt;
  }
  size_t offset = payload->offset;
  offset += 1 + packet[offset];  // pointer field
  if (offset + kSectionHeaderBytes > kTsPacketBytes) {
    return std::nullopt;
  }
  const uint8_t* start = packet + offset;
  const size_t length = kSectionHeaderBytes + (((start[1] & 0x0F) << 8) | start[2]);
  if (length < kSectionHeaderBytes + 5 + kSectionCrcBytes || offset + length > kTsPacketBytes) {
    return std::nullopt;
  }
  if (av_crc(av_crc_get_table(AV_CRC_32_IEEE), UINT32_MAX, start, length) != 0) {
    return std::nullopt;
  }
  Section section;
  section.pid = PacketPid(packet);
  section.bytes = start;
  section.size = length;
  return section;
}

}  // namespace player
