#include "platform/ui/keystate.h"

#include <array>
#include <atomic>
#include <mutex>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

#include "platform/ui/keystate_x11.h"

namespace {

constexpr int kVirtualKeys = 256;
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

std::mutex g_sourceMutex;
std::function<bool(int)> g_testSource;  // guarded by g_sourceMutex

// The program's own key events, by virtual key.
std::array<std::atomic<bool>, kVirtualKeys> g_appKeys{};

int VirtualKeyFor(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
  switch (qtKey) {
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Space: return VK_SPACE;
    default: return -1;
  }
}

// Whether the X server is the window system (decided once, on first use).
bool UsesX11() {
  static const bool x11 = QGuiApplication::platformName() == QStringLiteral("xcb");
  return x11;
}

class AppKeyFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const int vk = VirtualKeyFor(key->key());
      if (vk >= 0 && !key->isAutoRepeat())
        g_appKeys[static_cast<size_t>(vk)] = event->type() == QEvent::KeyPress;
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

SHORT GetAsyncKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey >= kVirtualKeys) return 0;
  {
    std::lock_guard lock(g_sourceMutex);
    if (g_testSource) return g_testSource(virtualKey) ? kKeyDown : 0;
  }
  if (UsesX11()) return ui::X11KeyDown(virtualKey) ? kKeyDown : 0;
  return g_appKeys[static_cast<size_t>(virtualKey)] ? kKeyDown : 0;
}

namespace ui {

void SetKeyStateSource(std::function<bool(int)> source) {
  std::lock_guard lock(g_sourceMutex);
  g_testSource = std::move(source);
}

void StartAppKeyTracking() {
  static bool started = false;
  QCoreApplication* app = QCoreApplication::instance();
  if (started || app == nullptr) return;
  started = true;
  app->installEventFilter(new AppKeyFilter(app));
}

}  // namespace ui
