#include "web/WebClock.h"

#include <chrono>

#include "platform/sys/clock.h"

namespace {

int64_t SystemWallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

WebClock::WebClock() : WebClock(SystemWallMs(), GetTickCount()) {}

WebClock::WebClock(int64_t wallMs, DWORD tick) : m_wallMs(wallMs), m_lastTick(tick) {}

int64_t WebClock::ElapsedMs(DWORD now) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_elapsedMs += static_cast<DWORD>(now - m_lastTick);
  m_lastTick = now;
  return m_elapsedMs;
}

int64_t WebClock::NowMs() const { return m_wallMs + ElapsedMs(GetTickCount()); }

int64_t WebClock::WallMsOf(DWORD tick) const {
  // Ages taken modulo 2^32 and read as signed, as the DecThread does.
  const DWORD now = GetTickCount();
  return m_wallMs + ElapsedMs(now) - static_cast<LONG>(now - tick);
}
