#include "platform/player/diagnostics.h"

#include <cstdio>
#include <mutex>

#include "platform/sys/clock.h"

namespace player {
namespace {

struct Limit {
  bool reported = false;
  DWORD lastTick = 0;    // when the last line of this kind was written
  unsigned heldBack = 0;  // reports since then that were not written
};

std::mutex g_mutex;
Limit g_limits[static_cast<int>(Diagnostic::kCount)];  // guarded by g_mutex

}  // namespace

void Diagnose(Diagnostic kind, const char* format, ...) {
  const DWORD now = GetTickCount();
  unsigned heldBack = 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    Limit& limit = g_limits[static_cast<int>(kind)];
    // Differences modulo 2^32, so the tick's wrap does not silence a kind.
    if (limit.reported && now - limit.lastTick < kReportIntervalMs) {
      ++limit.heldBack;
      return;
    }
    heldBack = limit.heldBack;
    limit = {true, now, 0};
  }
  char message[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  if (heldBack > 0) {
    std::fprintf(stderr, "player: %s (%u more like it held back)\n", message, heldBack);
  } else {
    std::fprintf(stderr, "player: %s\n", message);
  }
}

}  // namespace player
