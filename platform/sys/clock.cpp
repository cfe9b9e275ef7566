#include "platform/sys/clock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

std::atomic<bool> g_virtual{false};
std::atomic<DWORD> g_virtualTick{0};
std::mutex g_hookMutex;
std::function<void(DWORD)> g_sleepHook;  // guarded by g_hookMutex

}  // namespace

DWORD GetTickCount() {
  if (g_virtual.load(std::memory_order_acquire)) {
    return g_virtualTick.load(std::memory_order_acquire);
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<DWORD>(ms.count());  // wraps at 2^32 like the system tick
}

void Sleep(DWORD ms) {
  if (!g_virtual.load(std::memory_order_acquire)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  const DWORD tick = g_virtualTick.fetch_add(ms, std::memory_order_acq_rel) + ms;
  std::function<void(DWORD)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_sleepHook;
  }
  if (hook) {
    hook(tick);
  }
  // Let other threads run, as a real sleep would.
  std::this_thread::yield();
}

namespace sys {

void UseVirtualClock(DWORD startTick) {
  g_virtualTick.store(startTick, std::memory_order_release);
  g_virtual.store(true, std::memory_order_release);
}

void UseRealClock() {
  g_virtual.store(false, std::memory_order_release);
  SetVirtualSleepHook(nullptr);
}

bool IsVirtualClock() { return g_virtual.load(std::memory_order_acquire); }

void AdvanceVirtualClock(DWORD ms) { g_virtualTick.fetch_add(ms, std::memory_order_acq_rel); }

void SetVirtualSleepHook(std::function<void(DWORD tick)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_sleepHook = std::move(hook);
}

}  // namespace sys
