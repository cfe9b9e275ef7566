#include "platform/ui/windowsystem.h"

#include <cstdlib>

namespace ui {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string ChooseQtPlatform(const WindowSystemEnv& env) {
  if (!env.qpaPlatform.empty()) return {};
  const bool wayland = !env.waylandDisplay.empty() || env.sessionType == "wayland";
  if (wayland && !env.x11Display.empty()) return "xcb";
  return {};
}

void ChooseWindowSystem() {
  const std::string platform = ChooseQtPlatform(
      {Env("QT_QPA_PLATFORM"), Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE"), Env("DISPLAY")});
  // Before any thread exists, so changing the environment races with nothing.
  if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

}  // namespace ui
