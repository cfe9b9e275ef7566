#include "platform/player/stream_header.h"

#include <optional>
#include <set>

#include "platform/player/ts_packet.h"

namespace player {

bool IsStreamHeader(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size == 0 || size % kTsPacketBytes != 0) {
    return false;
  }
  std::set<unsigned> pmtPidsNamed;
  std::set<unsigned> pmtPidsSeen;
  for (size_t at = 0; at < size; at += kTsPacketBytes) {
    const uint8_t* packet = bytes + at;
    if (packet[0] != kTsSyncByte) {
      return false;
    }
    const std::optional<Section> section = SectionIn(packet);
    if (!section) {
      continue;
    }
    if (section->pid == kPatPid && section->bytes[0] == kPatTableId) {
      // Program loop: 4 bytes each, after the 8-byte header, before the CRC.
      for (size_t entry = 8; entry + 4 + kSectionCrcBytes <= section->size; entry += 4) {
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
