// The device layer's reports on stderr ("device: ..."): why a stream broke,
// why a reconnection failed, what a camera refused. Rate-limited per kind.
#pragma once

#include "platform/sys/stderr_report.h"
#include "platform/sys/types.h"

namespace device {

enum DiagnosticKind {
  kDiagnoseAnswer,     // a camera's answer other than success
  kDiagnoseBreak,      // a running stream broke
  kDiagnoseReconnect,  // a reconnection attempt failed
  kDiagnoseTransport,  // the link mode asked for was refused
  kDiagnoseRemux,      // a picture the remuxer could not take
  kDiagnoseRedirect,   // a camera sent the description's request elsewhere
  kDiagnoseKeepAlive,  // a keep-alive answered with other than success
};
static_assert(kDiagnoseKeepAlive < sys::StderrReport::kMaxKinds, "each kind its own limit");

// Long enough that a camera gone for minutes writes a few dozen lines.
constexpr DWORD kDiagnoseIntervalMs = 5000;

sys::StderrReport& Diagnostics();

}  // namespace device
