#include "platform/device/play_summary.h"

#include <cinttypes>
#include <cstdio>

namespace device {

std::string PlaySummary(long play, const SessionStats& session, const ReorderCounts& udp,
                        uint64_t picturesOutOfOrder) {
  char stages[256];
  std::snprintf(stages, sizeof stages,
                "; UDP %" PRIu64 " lost, %" PRIu64 " late, %" PRIu64 " duplicate, %" PRIu64
                " reordered; %" PRIu64 " pictures dropped out of order\n",
                udp.lost, udp.late, udp.duplicate, udp.reordered, picturesOutOfOrder);
  return "device: play " + std::to_string(play) + " closed: " + session.Summary() + stages;
}

}  // namespace device
