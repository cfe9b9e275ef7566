// What one step of an RTSP session came to: the client, the source and the
// real play speak only this; the SDK's error numbers are made from it at the
// layer's edge (sdk.cpp) and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace device {

struct RtspMessage;

enum class OutcomeKind {
  kAnswered,          // the step succeeded
  kUnauthorised,      // 401 or 403: the user or password refused
  kStaleNonce,        // 401 with stale=true: the credentials hold, the nonce expired
  kNotFound,          // 404 no such stream, or 454 the session is gone
  kTransportRefused,  // SETUP refused the transport, or nothing came over UDP
  kBusy,              // 503 until the attempt's deadline
  kRefused,           // any other answer that is not success (`status` says which)
  kTimedOut,          // no answer, or no RTP, within the deadline
  kUnreachable,       // nothing listens at the address, or it cannot be resolved
  kConnectionLost,    // the device closed the connection, or it broke
  kMalformedReply,    // not RTSP; `problem` says what was wrong
  kTooLarge,          // a reply over kMaxRtspMessageBytes, or announcing more
  kUnsupportedMedia,  // no H.264/H.265 video, or parameters the remuxer refuses
  kNoResources,       // out of sockets or memory
  kStopped,           // the stop flag ended the wait
};

struct Outcome {
  Outcome() = default;
  Outcome(OutcomeKind what, int answered = 0) : kind(what), status(answered) {}  // NOLINT: implicit

  OutcomeKind kind = OutcomeKind::kAnswered;
  int status = 0;            // the device's RTSP status; 0 when none came
  int retryAfterMs = -1;     // kBusy: the wait the device asked for last; -1 none
  std::string_view problem;  // kMalformedReply: what was wrong (a literal)

  bool Ok() const { return kind == OutcomeKind::kAnswered; }
};

// Statuses a device answers a SETUP with when it does not serve RTP over the
// transport asked for. Servers differ: 461 Unsupported Transport is the
// protocol's own, but 400, 406, 451, 501 and 505 are as common in the field.
bool IsTransportRefusal(int status);

// The outcome of a complete answer to `method`.
Outcome OutcomeOfAnswer(std::string_view method, const RtspMessage& answer);

// A few words for a stderr line, e.g. "answered 500", "no answer in time".
// Holds no credentials: only status codes and fixed texts.
std::string OutcomeText(const Outcome& outcome);

}  // namespace device
