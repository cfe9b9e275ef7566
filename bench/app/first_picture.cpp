// first_picture: presses a key through XTest (down, 50 ms, up) and then watches
// the screen until the demo camera's colour bars fill it. Prints two numbers of
// milliseconds from the key release (when a focused button clicks): to the
// first screen covered by a window (the display shown, still without picture;
// -1 if never seen apart) and to the first screen that shows the picture.
// Usage: first_picture KEY TIMEOUT_MS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kKeyHeld = std::chrono::milliseconds(50);  // longer than the 10 ms key poll
constexpr auto kPollGap = std::chrono::milliseconds(2);   // one row read costs well under 1 ms
// The camera's bottom bars run from 75 % of the height down; read one row there,
// below the clock's box.
constexpr double kRowAt = 0.85;
// A pixel counts as coloured when its channels spread this far (0..255); the
// dialog's grey and black spread 0, six of the seven bars spread about 190.
constexpr int kColouredSpread = 96;
constexpr double kPictureShare = 0.6;  // share of coloured pixels that means "picture"
// The empty screen around the centred main dialog is black; a channel above
// this level (0..255) on nearly the whole row means a full-screen window.
constexpr int kBlackLevel = 16;
constexpr double kCoveredShare = 0.95;

struct RowLook {
  double coloured;  // share of strongly coloured pixels
  double lit;       // share of pixels that are not black
};

RowLook Look(XImage* row, int width) {
  int coloured = 0, lit = 0;
  for (int x = 0; x < width; ++x) {
    const unsigned long pixel = XGetPixel(row, x, 0);
    const int r = static_cast<int>((pixel >> 16) & 0xFF);
    const int g = static_cast<int>((pixel >> 8) & 0xFF);
    const int b = static_cast<int>(pixel & 0xFF);
    if (std::max({r, g, b}) - std::min({r, g, b}) >= kColouredSpread) ++coloured;
    if (std::max({r, g, b}) > kBlackLevel) ++lit;
  }
  return {static_cast<double>(coloured) / width, static_cast<double>(lit) / width};
}

long long MsSince(Clock::time_point from, Clock::time_point to) {
  return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: first_picture KEY TIMEOUT_MS\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "first_picture: cannot open the display\n");
    return 1;
  }
  const KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
  const auto timeout = std::chrono::milliseconds(std::atoi(argv[2]));
  const Window root = DefaultRootWindow(display);
  const int width = DisplayWidth(display, DefaultScreen(display));
  const int rowY = static_cast<int>(DisplayHeight(display, DefaultScreen(display)) * kRowAt);

  XTestFakeKeyEvent(display, key, True, CurrentTime);
  XFlush(display);
  std::this_thread::sleep_for(kKeyHeld);
  XTestFakeKeyEvent(display, key, False, CurrentTime);
  XSync(display, False);
  const Clock::time_point released = Clock::now();

  long long coveredMs = -1;
  while (Clock::now() - released < timeout) {
    XImage* row = XGetImage(display, root, 0, rowY, static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
    const Clock::time_point seen = Clock::now();
    const RowLook look = row != nullptr ? Look(row, width) : RowLook{0.0, 0.0};
    if (row != nullptr) XDestroyImage(row);
    if (look.coloured >= kPictureShare) {
      std::printf("%lld %lld\n", coveredMs, MsSince(released, seen));
      XCloseDisplay(display);
      return 0;
    }
    if (coveredMs < 0 && look.lit >= kCoveredShare) coveredMs = MsSince(released, seen);
    std::this_thread::sleep_for(kPollGap);
  }
  std::fprintf(stderr, "first_picture: no picture within %s ms\n", argv[2]);
  XCloseDisplay(display);
  return 1;
}
