// Stage statistics of one real play's RTSP sessions, over all its
// connections: requests sent and the device's answers by class, transport
// fallbacks, keep-alive failures and reconnections by the cause of the break.
// Counted on the receive thread (and the opening thread before it starts);
// read once that thread has ended, for the play's closing stderr line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace device {

// Why a running stream broke, so that a reconnection followed.
enum class BreakCause {
  kSilent,        // nothing within the read deadline
  kClosed,        // the device closed the connection
  kSessionLost,   // a keep-alive answered 454: the device forgot the session
  kBadReply,      // a reply that is not RTSP or too large
  kRemuxRefused,  // a picture the remuxer refused
  kOther,         // anything else (out of memory)
};
constexpr size_t kBreakCauses = 6;

struct SessionStats {
  uint64_t requestsSent = 0;
  std::array<uint64_t, 4> answersByClass{};  // 2xx, 3xx, 4xx, 5xx; other statuses not counted
  uint64_t transportFallbacks = 0;           // set-ups tried again on the other transport
  uint64_t keepAliveFailures = 0;            // keep-alives answered with other than success
  std::array<uint64_t, kBreakCauses> reconnections{};  // by BreakCause

  void CountAnswer(int status);
  void CountReconnection(BreakCause cause) { ++reconnections[static_cast<size_t>(cause)]; }
  // The session's groups of a play's closing line (platform/device/play_summary.h).
  std::string Summary() const;
};

}  // namespace device
