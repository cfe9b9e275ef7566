#include "platform/player/stream_header.h"

#include <optional>
#include <set>

#include "platform/stream/ts.h"

namespace player {

bool IsStreamHeader(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size == 0 || size % stream::kTsPacketBytes != 0) {
    return false;
  }
  std::set<unsigned> pmtPidsNamed;
  std::set<unsigned> pmtPidsSeen;
  for (size_t at = 0; at < size; at += stream::kTsPacketBytes) {
    const uint8_t* packet = bytes + at;
    if (packet[0] != stream::kTsSyncByte) {
      return false;
    }
    const std::optional<stream::Section> section = stream::SectionIn(packet);
    if (!section) {
      continue;
    }
    if (section->pid == stream::kPatPid && section->bytes[0] == stream::kPatTableId) {
      for (unsigned pid : stream::PmtPidsOf(*section)) {
        pmtPidsNamed.insert(pid);
      }
    } else if (section->bytes[0] == stream::kPmtTableId) {
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
