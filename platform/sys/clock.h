// The one millisecond clock of the program: GetTickCount and Sleep.
//
// Real mode: a monotonic millisecond counter that wraps at 2^32, and a real sleep.
// Virtual mode (tests): the tick is a number the test sets; Sleep advances it at
// once by the requested milliseconds, so 45-second delays and the 2^32 wrap run
// in microseconds of real time.
#pragma once

#include <functional>

#include "platform/sys/types.h"

DWORD GetTickCount();
void Sleep(DWORD ms);

namespace sys {

// Switches GetTickCount/Sleep to the virtual clock, starting at startTick.
void UseVirtualClock(DWORD startTick);
// Back to the real clock; clears any sleep hook.
void UseRealClock();
bool IsVirtualClock();
// Moves the virtual tick forward (wrapping); no effect on the real clock.
void AdvanceVirtualClock(DWORD ms);
// Called after every virtual Sleep with the new tick, on the sleeping thread;
// lets a test act at an exact virtual moment (e.g. clear a run flag mid-wait).
void SetVirtualSleepHook(std::function<void(DWORD tick)> hook);

}  // namespace sys
