#include "platform/player/diagnostics.h"

#include "platform/sys/stderr_report.h"

namespace player {

static_assert(static_cast<int>(Diagnostic::kCount) <= sys::StderrReport::kMaxKinds);

void Diagnose(Diagnostic kind, const char* format, ...) {
  static sys::StderrReport report("player", kReportIntervalMs);
  va_list arguments;
  va_start(arguments, format);
  report.ReportV(static_cast<int>(kind), format, arguments);
  va_end(arguments);
}

}  // namespace player
