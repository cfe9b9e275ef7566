#include "platform/player/stream_header.h"

#include <optional>
#include <set>

extern "C" {
#include <libavutil/crc.h>
}

namespace player {
namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr unsigned kPatPid = 0;
constexpr uint8_t kPatTableId = 0x00;
constexpr uint8_t kPmtTableId = 0x02;
constexpr size_t kSectionHeaderBytes = 3;  // table id and section length
constexpr size_t kCrcBytes = 4;

struct Section {
  unsigned pid = 0;
  const uint8_t* bytes = nullptr;  // from the table id to the end of the CRC
  size_t size = 0;                 // bytes
};

// The section that starts in this packet, if it starts and ends inside it.
std::optional<Section> SectionIn(const uint8_t* packet) {
  const bool unitStart = (packet[1] & 0x40) != 0;
  const unsigned adaptation = (packet[3] >> 4) & 0x3;
  if (!unitStart || (adaptation & 0x1) == 0) {
    return std::nullopt;
  }
  size_t offset = 4;
  if (adaptation & 0x2) {
    offset += 1 + packet[4];
  }
  if (offset >= kTsPacketBytes) {
    return std::nullopt;
  }
  offset += 1 + packet[offset];  // pointer field
  if (offset + kSectionHeaderBytes > kTsPacketBytes) {
    return std::nullopt;
  }
  const uint8_t* start = packet + offset;
  const size_t length = kSectionHeaderBytes + (((start[1] & 0x0F) << 8) | start[2]);
  if (length < kSectionHeaderBytes + 5 + kCrcBytes || offset + length > kTsPacketBytes) {
    return std::nullopt;
  }
  if (av_crc(av_crc_get_table(AV_CRC_32_IEEE), UINT32_MAX, start, length) != 0) {
    return std::nullopt;
  }
  Section section;
  section.pid = ((packet[1] & 0x1F) << 8) | packet[2];
  section.bytes = start;
  section.size = length;
  return section;
}

}  // namespace

bool IsStreamHeader(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size == 0 || size % kTsPacketBytes != 0) {
    return false;
  }
  std::set<unsigned> pmtPidsNamed;
  std::set<unsigned> pmtPidsSeen;
  for (size_t at = 0; at < size; at += kTsPacketBytes) {
    const uint8_t* packet = bytes + at;
    if (packet[0] != kSyncByte) {
      return false;
    }
    const std::optional<Section> section = SectionIn(packet);
    if (!section) {
      continue;
    }
    if (section->pid == kPatPid && section->bytes[0] == kPatTableId) {
      // Program loop: 4 bytes each, after the 8-byte header, before the CRC.
      for (size_t entry = 8; entry + 4 + kCrcBytes <= section->size; entry += 4) {
        const uint8_t* program = section->bytes + entry;
        const unsigned number = (program[0] << 8) | program[1];
        if (number != 0) {  // 0 names the network PID, not a PMT
          pmtPidsNamed.insert(((program[2] & 0x1F) << 8) | program[3]);
        }
      }
    } else if (section->bytes[0] == kPmtTableId) {
      pmtPidsSeen.insert(section->pid);
    }
  }
  for (unsigned pid : pmtPidsSeen) {
    if (pmtPidsNamed.count(pid) != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace player
