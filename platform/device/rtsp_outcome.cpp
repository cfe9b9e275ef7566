#include "platform/device/rtsp_outcome.h"

#include "platform/device/rtsp_auth.h"
#include "platform/device/rtsp_message.h"

namespace device {

bool IsTransportRefusal(int status) {
  switch (status) {
    case 400:  // Bad Request: the Transport header not understood at all
    case 406:  // Not Acceptable
    case 451:  // Parameter Not Understood
    case 461:  // Unsupported Transport
    case 501:  // Not Implemented: interleaving or UDP not built in
    case 505:  // RTSP Version Not Supported: sent by some for any SETUP they dislike
      return true;
    default:
      return false;
  }
}

Outcome OutcomeOfAnswer(std::string_view method, const RtspMessage& answer) {
  const int status = answer.status;
  Outcome outcome{OutcomeKind::kRefused, status};
  if (status / 100 == 2) {
    outcome.kind = OutcomeKind::kAnswered;
  } else if (status == 401) {
    outcome.kind = RtspAuth::IsStale(answer.AllHeaders("WWW-Authenticate"))
                       ? OutcomeKind::kStaleNonce
                       : OutcomeKind::kUnauthorised;
  } else if (status == 403) {
    outcome.kind = OutcomeKind::kUnauthorised;
  } else if (status == 404 || status == 454) {
    outcome.kind = OutcomeKind::kNotFound;
  } else if (method == "SETUP" && IsTransportRefusal(status)) {
    outcome.kind = OutcomeKind::kTransportRefused;
  } else if (status == 503) {
    outcome.kind = OutcomeKind::kBusy;
  }
  return outcome;
}

std::string OutcomeText(const Outcome& outcome) {
  const std::string status = std::to_string(outcome.status);
  switch (outcome.kind) {
    case OutcomeKind::kAnswered:
      return "answered";
    case OutcomeKind::kUnauthorised:
      return "user or password refused (" + status + ")";
    case OutcomeKind::kStaleNonce:
      return "authentication nonce went stale (401)";
    case OutcomeKind::kNotFound:
      return outcome.status == 454 ? "session not found (454)" : "no such stream (" + status + ")";
    case OutcomeKind::kTransportRefused:
      return outcome.status != 0 ? "transport refused (" + status + ")"
                                 : "nothing arrived over UDP";
    case OutcomeKind::kBusy:
      return outcome.retryAfterMs >= 0
                 ? "busy (503), asked to wait " + std::to_string(outcome.retryAfterMs) + " ms"
                 : "busy (503)";
    case OutcomeKind::kRefused:
      return "answered " + status;
    case OutcomeKind::kTimedOut:
      return "no answer in time";
    case OutcomeKind::kUnreachable:
      return "nothing answers";
    case OutcomeKind::kConnectionLost:
      return "the connection closed";
    case OutcomeKind::kMalformedReply:
      return "malformed reply: " + std::string(outcome.problem);
    case OutcomeKind::kTooLarge:
      return "a reply over 1 MiB";
    case OutcomeKind::kUnsupportedMedia:
      return "no usable H.264 or H.265 video";
    case OutcomeKind::kNoResources:
      return "out of memory or sockets";
    case OutcomeKind::kStopped:
      return "stopped";
  }
  return "failed";
}

}  // namespace device
