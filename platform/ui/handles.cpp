#include "platform/ui/handles.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

namespace {

struct Entry {
  QPointer<QWidget> widget;
  DWORD style = 0;
  DWORD exStyle = 0;
  int ctrlId = 0;
  CWnd* object = nullptr;
  std::unique_ptr<CWnd> wrapper;
  HRGN region = nullptr;  // owned by the window once set
};

struct Registry {
  std::mutex mutex;  // guards the map: liveness is asked from any thread
  std::map<HWND, Entry> entries;
  std::map<const QWidget*, HWND> byWidget;
  uintptr_t next = 0x10;  // handle values are counters, never addresses
};

Registry& registry() {
  static Registry r;
  return r;
}

Entry* Find(HWND hwnd) {
  auto it = registry().entries.find(hwnd);
  return it == registry().entries.end() ? nullptr : &it->second;
}

void Forget(HWND hwnd) {
  Entry gone;
  {
    std::lock_guard lock(registry().mutex);
    auto it = registry().entries.find(hwnd);
    if (it == registry().entries.end()) return;
    gone = std::move(it->second);
    registry().entries.erase(it);
    for (auto w = registry().byWidget.begin(); w != registry().byWidget.end(); ++w) {
      if (w->second == hwnd) {
        registry().byWidget.erase(w);
        break;
      }
    }
  }
  if (gone.object != nullptr) gone.object->m_hWnd = nullptr;
  ui::DeleteRegion(gone.region);
}

}  // namespace

namespace ui {

HWND RegisterWindow(QWidget* widget, DWORD style, DWORD exStyle, int ctrlId) {
  HWND hwnd;
  {
    std::lock_guard lock(registry().mutex);
    hwnd = reinterpret_cast<HWND>(registry().next++);
    Entry& entry = registry().entries[hwnd];
    entry.widget = widget;
    entry.style = style;
    entry.exStyle = exStyle;
    entry.ctrlId = ctrlId;
    registry().byWidget[widget] = hwnd;
  }
  QObject::connect(widget, &QObject::destroyed, [hwnd] { Forget(hwnd); });
  return hwnd;
}

bool IsLiveHandle(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  return Find(hwnd) != nullptr;
}

bool OnGuiThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

QWidget* WidgetOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  return entry == nullptr ? nullptr : entry->widget.data();
}

HWND HandleOf(const QWidget* widget) {
  std::lock_guard lock(registry().mutex);
  auto it = registry().byWidget.find(widget);
  return it == registry().byWidget.end() ? nullptr : it->second;
}

int CtrlIdOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  return entry == nullptr ? 0 : entry->ctrlId;
}

DWORD StyleOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  return entry == nullptr ? 0 : entry->style;
}

void SetStyleBits(HWND hwnd, DWORD style) {
  std::lock_guard lock(registry().mutex);
  if (Entry* entry = Find(hwnd)) entry->style = style;
}

DWORD ExStyleOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  return entry == nullptr ? 0 : entry->exStyle;
}

CWnd* ObjectOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  return entry == nullptr ? nullptr : entry->object;
}

bool AttachObject(HWND hwnd, CWnd* object) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  if (entry == nullptr || (entry->object != nullptr && entry->object != object)) return false;
  entry->object = object;
  return true;
}

void DetachObject(HWND hwnd, const CWnd* object) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  if (entry != nullptr && entry->object == object) entry->object = nullptr;
}

CWnd* WrapperOf(HWND hwnd) {
  std::lock_guard lock(registry().mutex);
  Entry* entry = Find(hwnd);
  if (entry == nullptr) return nullptr;
  if (!entry->wrapper) {
    entry->wrapper = std::make_unique<CWnd>();
    entry->wrapper->m_hWnd = hwnd;
  }
  return entry->wrapper.get();
}

void SetRegion(HWND hwnd, HRGN region) {
  HRGN previous = nullptr;
  {
    std::lock_guard lock(registry().mutex);
    Entry* entry = Find(hwnd);
    if (entry == nullptr) return;
    previous = entry->region;
    entry->region = region;
  }
  DeleteRegion(previous);
}

namespace {

// The system Qt hands a queued call over under a lock of its own that the
// thread checker cannot see. Bumped once a task is built and read before it
// runs, this makes the hand-over of everything the task holds visible to it;
// it costs one atomic add per post.
std::atomic<uint64_t> g_postedTasks{0};

}  // namespace

bool PostToGui(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  auto run = [task = std::move(task)] {
    g_postedTasks.load(std::memory_order_acquire);
    task();
  };
  g_postedTasks.fetch_add(1, std::memory_order_release);
  // Queued calls to one receiver are delivered in the order they were posted.
  return QMetaObject::invokeMethod(app, std::move(run), Qt::QueuedConnection);
}

}  // namespace ui
