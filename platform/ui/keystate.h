// The system-wide key state: is a key down at this moment, whichever window
// has the keyboard focus.
//
// Sources, in order of preference: one that a test installs; the X server's
// key map (each calling thread asks over a connection of its own, since an X
// connection is not shared between threads safely); and, where there is no X
// server (offscreen, Wayland), the key events this program itself receives.
#pragma once

#include <functional>

#include "platform/ui/wintypes.h"

// Most significant bit set (0x8000) while the key is down; the low bit is
// never set (presses since the last call are not counted).
SHORT GetAsyncKeyState(int virtualKey);

namespace ui {

// A test's source: returns whether the virtual key is down. Null restores the
// system's own source.
void SetKeyStateSource(std::function<bool(int virtualKey)> source);

// Starts following this program's own key events (GUI thread); the dialogs
// call it, so the fallback works from the first dialog on.
void StartAppKeyTracking();

}  // namespace ui
