// What a platform layer gives up on, reported on stderr behind the layer's
// prefix ("device: ...", "player: ..."), rate-limited per kind so that a
// broken stream cannot flood the terminal: the first report of a kind is
// written at once, later ones at most once per interval, each saying how
// many were held back since the last. The work log is the program's; nothing
// here goes there.
#pragma once

#include <cstdarg>
#include <mutex>

#include "platform/sys/types.h"

namespace sys {

class StderrReport {
 public:
  static constexpr int kMaxKinds = 8;

  // `prefix` must live as long as the reporter (a literal).
  StderrReport(const char* prefix, DWORD intervalMs) : m_prefix(prefix), m_intervalMs(intervalMs) {}

  // printf-style; "\n" is added. Kinds at or beyond kMaxKinds share the last.
  void Report(int kind, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void ReportV(int kind, const char* format, va_list arguments)
      __attribute__((format(printf, 3, 0)));

 private:
  struct Limit {
    bool reported = false;
    DWORD lastTick = 0;     // GetTickCount when the last line of this kind was written
    unsigned heldBack = 0;  // reports since then that were not written
  };

  const char* const m_prefix;
  const DWORD m_intervalMs;
  std::mutex m_mutex;  // guards m_limits
  Limit m_limits[kMaxKinds];
};

}  // namespace sys
