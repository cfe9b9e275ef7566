#include "platform/sys/wallclock.h"

#include <atomic>

namespace {
std::atomic<bool> g_fixed{false};
std::atomic<std::time_t> g_fixedTime{0};
}  // namespace

namespace sys {

std::time_t WallClockNow() {
  if (g_fixed.load(std::memory_order_acquire)) {
    return g_fixedTime.load(std::memory_order_acquire);
  }
  return std::time(nullptr);
}

void UseFixedWallClock(std::time_t when) {
  g_fixedTime.store(when, std::memory_order_release);
  g_fixed.store(true, std::memory_order_release);
}

void UseRealWallClock() { g_fixed.store(false, std::memory_order_release); }

}  // namespace sys
