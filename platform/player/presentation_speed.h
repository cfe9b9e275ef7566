// A port's presentation speed: the rate at which its pictures' time stamps
// are presented against real time (0.5 shows one second of stream in two).
// Pictures must be fed at that pace too: the speed sets when each is shown,
// the feed sets when each can be decoded. Every stream opens at 1.
#pragma once

#include "platform/sys/types.h"

namespace player {

constexpr double kMinPresentationSpeed = 0.1;
constexpr double kMaxPresentationSpeed = 4.0;

// Any thread, also while the port plays (the clock starts afresh at the next
// picture). False for a port outside the table or a speed outside
// [kMinPresentationSpeed, kMaxPresentationSpeed].
bool SetPresentationSpeed(LONG port, double speed);
// The port's speed; 1 for a port outside the table.
double PresentationSpeed(LONG port);

}  // namespace player
