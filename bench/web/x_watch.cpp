// x_watch: watches the top left corner of the screen in $DISPLAY for the
// display's marker box (the replay's "回放 0.5×", the remote's "遥控: …"): a
// dark box over the picture, read with XGetImage. The same corner and rule as
// markerPixels in tests/web/browser/support/desktop.js.
// Commands on stdin, one a line; an answer on stdout for each:
//   on TIMEOUT_MS    polls about every millisecond until the box is there
//   off TIMEOUT_MS   polls every 10 ms until it is gone
// answered "on NS" or "off NS": CLOCK_MONOTONIC in ns (Node's process.hrtime)
// at the end of the first poll that saw it, or "timeout".
// Usage: x_watch
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux

constexpr auto kTightPoll = std::chrono::milliseconds(1);  // a 256x120 read takes well under it
constexpr auto kLoosePoll = std::chrono::milliseconds(10);
// The box is black at 160/255 over the picture: every bar of the demo camera
// has a channel at 191, which the box takes below this level.
constexpr int kDarkLevel = 110;
// Dark pixels that mean a box: one holds some 3500 at 720 lines, the live
// picture none.
constexpr int kLeastDark = 1500;

bool MarkerShown(Display* display, Window root, int width, int height) {
  XImage* image = XGetImage(display, root, 0, 0, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) {
    return false;
  }
  int dark = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      dark += std::max({(pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF}) <
              static_cast<unsigned long>(kDarkLevel);
    }
  }
  XDestroyImage(image);
  return dark >= kLeastDark;
}

}  // namespace

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "x_watch: cannot open the display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  const int width = DisplayWidth(display, DefaultScreen(display)) / 5;
  const int height = DisplayHeight(display, DefaultScreen(display)) / 6;
  std::string command;
  long long timeoutMs = 0;
  while (std::cin >> command >> timeoutMs) {
    if (command != "on" && command != "off") {
      std::fprintf(stderr, "x_watch: unknown command %s\n", command.c_str());
      return 2;
    }
    const bool wanted = command == "on";
    const auto poll = wanted ? kTightPoll : kLoosePoll;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Clock::time_point next = Clock::now();
    bool seen = false;
    while (!seen && Clock::now() < deadline) {
      next += poll;
      seen = MarkerShown(display, root, width, height) == wanted;
      if (!seen) {
        std::this_thread::sleep_until(next);
      }
    }
    if (seen) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
          Clock::now().time_since_epoch());
      std::printf("%s %lld\n", command.c_str(), static_cast<long long>(ns.count()));
    } else {
      std::printf("timeout\n");
    }
    std::fflush(stdout);
  }
  XCloseDisplay(display);
  return 0;
}
