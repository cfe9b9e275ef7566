// Calendar time (seconds since 1970-01-01 00:00:00 UTC) for log stamps,
// snapshot names and reconnect notices. Tests can pin it to a fixed moment.
#pragma once

#include <ctime>

namespace sys {

std::time_t WallClockNow();
// Pins WallClockNow to `when` until UseRealWallClock.
void UseFixedWallClock(std::time_t when);
void UseRealWallClock();

}  // namespace sys
