#include <gtest/gtest.h>

#include "platform/ui/windowsystem.h"

namespace {

struct Case {
  const char* story;
  ui::WindowSystemEnv env;  // QT_QPA_PLATFORM, WAYLAND_DISPLAY, XDG_SESSION_TYPE, DISPLAY
  const char* expected;     // "" leaves the choice to Qt
};

class WindowSystemChoice : public ::testing::TestWithParam<Case> {};

TEST_P(WindowSystemChoice, PicksXOnlyForWaylandWithXBeside) {
  EXPECT_EQ(ui::ChooseQtPlatform(GetParam().env), GetParam().expected) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, WindowSystemChoice,
    ::testing::Values(
        Case{"Wayland socket and XWayland", {"", "wayland-0", "", ":0"}, "xcb"},
        Case{"session type alone says Wayland", {"", "", "wayland", ":1"}, "xcb"},
        Case{"Wayland without X stays on Wayland", {"", "wayland-0", "wayland", ""}, ""},
        Case{"plain X11 session", {"", "", "x11", ":0"}, ""},
        Case{"no window system at all", {"", "", "tty", ""}, ""},
        Case{"the user's platform is kept", {"wayland", "wayland-0", "wayland", ":0"}, ""},
        Case{"offscreen tests stay offscreen", {"offscreen", "wayland-0", "", ":0"}, ""}));

}  // namespace
