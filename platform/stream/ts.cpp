#include "platform/stream/ts.h"

extern "C" {
#include <libavutil/crc.h>
}

namespace stream {
namespace {

constexpr size_t kPacketHeaderBytes = 4;
constexpr size_t kSectionHeaderBytes = 3;  // table id and section length
// Adaptation field flags and the bytes of the fields they announce.
constexpr uint8_t kPcrFlag = 0x10, kOpcrFlag = 0x08, kSpliceFlag = 0x04, kPrivateFlag = 0x02,
                  kExtensionFlag = 0x01;
constexpr uint8_t kRandomAccessFlag = 0x40;
constexpr size_t kClockReferenceBytes = 6;
// Offsets in a PES header: its flags (two bytes) and its header data length.
constexpr size_t kPesFlagsAt = 6;
constexpr size_t kPesHeaderDataAt = 8;
constexpr size_t kTimestampBytes = 5;

int64_t ReadTimestamp(const uint8_t* at) {
  return (static_cast<int64_t>(at[0] & 0x0E) << 29) | (static_cast<int64_t>(at[1]) << 22) |
         (static_cast<int64_t>(at[2] & 0xFE) << 14) | (static_cast<int64_t>(at[3]) << 7) |
         (at[4] >> 1);
}

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


bool PacketRandomAccess(const uint8_t* packet) {
  const bool adaptation = (packet[3] & 0x20) != 0;
  return adaptation && packet[4] > 0 && (packet[5] & kRandomAccessFlag) != 0;
}

std::vector<unsigned> PmtPidsOf(const Section& pat) {
  // Program loop: 4 bytes each, after the 8-byte header, before the CRC.
  std::vector<unsigned> pids;
  for (size_t entry = 8; entry + 4 + kSectionCrcBytes <= pat.size; entry += 4) {
    const uint8_t* program = pat.bytes + entry;
    if (((program[0] << 8) | program[1]) != 0) {  // 0 names the network PID, not a PMT
      pids.push_back(((program[2] & 0x1F) << 8) | program[3]);
    }
  }
  return pids;
}

std::optional<VideoStream> VideoStreamOf(const Section& pmt) {
  // Header (8), PCR PID (2), program info length (2) and its descriptors,
  // then one entry per stream: type (1), PID (2), info length (2), descriptors.
  const uint8_t* bytes = pmt.bytes;
  const size_t end = pmt.size - kSectionCrcBytes;
  if (bytes[0] != kPmtTableId || end < 12) {
    return std::nullopt;
  }
  size_t entry = 12 + (((bytes[10] & 0x0F) << 8) | bytes[11]);
  while (entry + 5 <= end) {
    const VideoCodec codec = CodecOfStreamType(bytes[entry]);
    if (codec != VideoCodec::kNone) {
      return VideoStream{((bytes[entry + 1] & 0x1FU) << 8) | bytes[entry + 2], codec};
    }
    entry += 5 + (((bytes[entry + 3] & 0x0F) << 8) | bytes[entry + 4]);
  }
  return std::nullopt;
}

std::optional<PesHeader> ReadPesHeader(const uint8_t* pes, size_t size) {
  // Start code 00 00 01, then the optional header with its '10' marker bits.
  if (size < kPesHeaderBytes || pes[0] != 0 || pes[1] != 0 || pes[2] != 1 ||
      (pes[kPesFlagsAt] & 0xC0) != 0x80) {
    return std::nullopt;
  }
  PesHeader header;
  header.streamId = pes[3];
  header.statedBytes = (pes[4] << 8) | pes[5];
  const size_t headerData = pes[kPesHeaderDataAt];
  header.dataOffset = kPesHeaderBytes + headerData;
  const uint8_t timestamps = pes[kPesFlagsAt + 1] >> 6;  // 2: PTS, 3: PTS and DTS
  if ((timestamps & 0x2) != 0) {
    if (headerData < kTimestampBytes || size < kPesHeaderBytes + kTimestampBytes) {
      return std::nullopt;
    }
    header.pts = ReadTimestamp(pes + kPesHeaderBytes);
    header.dts = header.pts;
  }
  if (timestamps == 0x3) {
    if (headerData < 2 * kTimestampBytes || size < kPesHeaderBytes + 2 * kTimestampBytes) {
      return std::nullopt;
    }
    header.dts = ReadTimestamp(pes + kPesHeaderBytes + kTimestampBytes);
  }
  return header;
}

}  // namespace stream
