// The one stderr line a real play writes when it stops, beside the player's:
// what each stage did, one group of counters a stage, groups separated by
// "; ": "device: play N closed: <session>; UDP <reorder>; <remuxer>".
#pragma once

#include <cstdint>
#include <string>

#include "platform/device/rtp_reorder.h"
#include "platform/device/session_stats.h"

namespace device {

std::string PlaySummary(long play, const SessionStats& session, const ReorderCounts& udp,
                        uint64_t picturesOutOfOrder);

}  // namespace device
