// The X server's key map, asked over the calling thread's own connection.
#pragma once

namespace ui {
// Whether the virtual key is down now; false without an X server.
bool X11KeyDown(int virtualKey);
}  // namespace ui
