// The stream intake: the device's data callback. The header opens a player
// port on the display window and starts the DecThread; every piece, the header
// too, is stored in the ring stamped with its arrival tick.
#pragma once

#include <atomic>

#include "platform/sys/types.h"

// Window the player draws into: the display dialog's, set before real play.
extern HWND g_hPlayWnd;
// The running DecThread, started here on the header and ended by the stop.
extern std::atomic<HANDLE> g_hDecThread;

// Player input buffer opened with the header (bytes).
constexpr DWORD kPlayerBufferBytes = 1048576;

void StreamDataProc(LONG realHandle, DWORD dataType, BYTE* buffer, DWORD size, void* user);
