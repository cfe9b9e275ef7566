// Kept apart: the X headers define macros (KeyPress, None) that clash with Qt.
#include "platform/ui/keystate_x11.h"

#include "platform/ui/wintypes.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

// X keysym for the virtual keys the program can ask about; 0 for none.
KeySym KeySymFor(int vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<KeySym>(XK_a + (vk - 'A'));
  if (vk >= '0' && vk <= '9') return static_cast<KeySym>(XK_0 + (vk - '0'));
  switch (vk) {
    case VK_ESCAPE: return XK_Escape;
    case VK_RETURN: return XK_Return;
    case VK_SPACE: return XK_space;
    default: return 0;
  }
}

// One X connection per calling thread, closed when the thread ends.
class ThreadDisplay {
 public:
  ThreadDisplay() : m_display(XOpenDisplay(nullptr)) {}
  ~ThreadDisplay() {
    if (m_display != nullptr) XCloseDisplay(m_display);
  }
  ThreadDisplay(const ThreadDisplay&) = delete;
  ThreadDisplay& operator=(const ThreadDisplay&) = delete;
  Display* get() const { return m_display; }

 private:
  Display* m_display;
};

}  // namespace

namespace ui {

bool X11KeyDown(int vk) {
  thread_local ThreadDisplay display;
  const KeySym sym = KeySymFor(vk);
  if (display.get() == nullptr || sym == 0) return false;
  const KeyCode code = XKeysymToKeycode(display.get(), sym);
  if (code == 0) return false;
  char keys[32];  // one bit per key code
  XQueryKeymap(display.get(), keys);
  return (static_cast<unsigned char>(keys[code / 8]) & (1u << (code % 8))) != 0;
}

}  // namespace ui
