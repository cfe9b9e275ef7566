// The window system the program asks Qt for, chosen before the application
// object exists.
//
// On a Wayland session with an X server beside it (XWayland) the program runs
// on X: there it can place its windows, fill the screen and read the keys
// system-wide. Without X it stays on Wayland, where only its own key events are
// seen. A platform the user named in QT_QPA_PLATFORM is always kept.
#pragma once

#include <string>

namespace ui {

// The environment variables the choice depends on; empty means unset.
struct WindowSystemEnv {
  std::string qpaPlatform;     // QT_QPA_PLATFORM
  std::string waylandDisplay;  // WAYLAND_DISPLAY
  std::string sessionType;     // XDG_SESSION_TYPE
  std::string x11Display;      // DISPLAY
};

// The Qt platform to ask for, or empty to leave the choice to Qt.
std::string ChooseQtPlatform(const WindowSystemEnv& env);

// Reads the process environment and, when ChooseQtPlatform names a platform,
// sets QT_QPA_PLATFORM to it. Call before the application object is created.
void ChooseWindowSystem();

}  // namespace ui
