#include "platform/sys/stderr_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/sys/clock.h"

namespace sys {

void StderrReport::Report(int kind, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  ReportV(kind, format, arguments);
  va_end(arguments);
}

void StderrReport::ReportV(int kind, const char* format, va_list arguments) {
  const DWORD now = GetTickCount();
  unsigned heldBack = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    Limit& limit = m_limits[std::clamp(kind, 0, kMaxKinds - 1)];
    // Differences modulo 2^32, so the tick's wrap does not silence a kind.
    if (limit.reported && now - limit.lastTick < m_intervalMs) {
      ++limit.heldBack;
      return;
    }
    heldBack = limit.heldBack;
    limit = {true, now, 0};
  }
  char message[512];
  std::vsnprintf(message, sizeof message, format, arguments);
  if (heldBack > 0) {
    std::fprintf(stderr, "%s: %s (%u more like it held back)\n", m_prefix, message, heldBack);
  } else {
    std::fprintf(stderr, "%s: %s\n", m_prefix, message);
  }
}

}  // namespace sys
