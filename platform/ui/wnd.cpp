#include "platform/ui/wnd.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "platform/ui/dialog.h"
#include "platform/ui/dialogfont.h"
#include "platform/ui/gdi.h"
#include "platform/ui/handles.h"
#include "platform/ui/widgets.h"

namespace {

// The system's standard icon size in pixels.
constexpr int kIconPixels = 32;

std::function<int(const CString&, const CString&)>& MessageBoxHandler() {
  static std::function<int(const CString&, const CString&)> handler;
  return handler;
}

bool IsEnd(const MessageMapEntry& e) {
  return e.message == 0 && e.onMessage == nullptr && e.onCommand == nullptr;
}

constexpr UINT LowWord(WPARAM value) { return static_cast<UINT>(value & 0xFFFF); }
constexpr UINT HighWord(WPARAM value) { return static_cast<UINT>((value >> 16) & 0xFFFF); }

}  // namespace

CWnd::~CWnd() {
  if (m_hWnd != nullptr) ui::DetachObject(m_hWnd, this);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  CWnd* object = ui::ObjectOf(hwnd);
  return object != nullptr ? object : ui::WrapperOf(hwnd);
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  CWnd* item = parent == nullptr ? nullptr : parent->GetDlgItem(static_cast<int>(id));
  return item == nullptr ? FALSE : SubclassWindow(item->m_hWnd);
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (m_hWnd != nullptr || !ui::AttachObject(hwnd, this)) return FALSE;
  m_hWnd = hwnd;
  PreSubclassWindow();
  return TRUE;
}

CWnd* CWnd::GetDlgItem(int id) const {
  QWidget* self = ui::WidgetOf(m_hWnd);
  if (self == nullptr) return nullptr;
  for (QWidget* child : self->findChildren<QWidget*>()) {
    const HWND hwnd = ui::HandleOf(child);
    if (hwnd != nullptr && ui::CtrlIdOf(hwnd) == id && ::GetParent(hwnd) == m_hWnd)
      return FromHandle(hwnd);
  }
  return nullptr;
}

CWnd* CWnd::GetParent() const {
  const HWND parent = ::GetParent(m_hWnd);
  return parent == nullptr ? nullptr : FromHandle(parent);
}

int CWnd::GetDlgCtrlID() const { return ui::CtrlIdOf(m_hWnd); }

BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }

BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::EnableWindow(BOOL enable) {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  if (widget == nullptr) return FALSE;
  const BOOL wasDisabled = widget->isEnabled() ? FALSE : TRUE;
  widget->setEnabled(enable != FALSE);
  const DWORD style = ui::StyleOf(m_hWnd);
  ui::SetStyleBits(m_hWnd, enable != FALSE ? style & ~WS_DISABLED : style | WS_DISABLED);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  return widget != nullptr && widget->isEnabled() ? TRUE : FALSE;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL) {
  if (QWidget* widget = ui::WidgetOf(m_hWnd)) widget->setGeometry(x, y, width, height);
}

void CWnd::GetClientRect(LPRECT rect) const {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  *rect = widget == nullptr ? RECT{} : RECT{0, 0, widget->width(), widget->height()};
}

void CWnd::ClientToScreen(LPRECT rect) const {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  if (widget == nullptr) return;
  const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
  CRect moved(*rect);
  moved.OffsetRect(origin.x(), origin.y());
  *rect = moved;
}

void CWnd::ScreenToClient(LPRECT rect) const {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  if (widget == nullptr) return;
  const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
  CRect moved(*rect);
  moved.OffsetRect(-origin.x(), -origin.y());
  *rect = moved;
}

DWORD CWnd::GetStyle() const { return ui::StyleOf(m_hWnd); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  if (widget == nullptr) return FALSE;
  const DWORD before = ui::StyleOf(m_hWnd);
  const DWORD after = (before & ~remove) | add;
  if (after == before) return FALSE;
  ui::SetStyleBits(m_hWnd, after);
  constexpr DWORD kWindowKind = WS_CHILD | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  if (((before ^ after) & kWindowKind) != 0 && dynamic_cast<QDialog*>(widget) != nullptr) {
    // Changing the kind hides a widget; it keeps its visibility here.
    const bool visible = widget->isVisible();
    widget->setWindowFlags(ui::WindowFlagsFor(after));
    if (visible) widget->show();
  }
  widget->update();
  return TRUE;
}

CWnd* CWnd::SetParent(CWnd* newParent) {
  const HWND previous = ::SetParent(m_hWnd, newParent == nullptr ? nullptr : newParent->m_hWnd);
  return previous == nullptr ? nullptr : FromHandle(previous);
}

CWnd* CWnd::SetFocus() {
  const HWND previous = ui::HandleOf(QApplication::focusWidget());
  if (QWidget* widget = ui::WidgetOf(m_hWnd)) widget->setFocus(Qt::OtherFocusReason);
  return previous == nullptr ? nullptr : FromHandle(previous);
}

void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }

void CWnd::SetWindowText(const char* text) {
  if (QWidget* widget = ui::WidgetOf(m_hWnd))
    ui::SetWidgetText(widget, QString::fromUtf8(text == nullptr ? "" : text));
}

int CWnd::GetWindowText(CString& text) const {
  QWidget* widget = ui::WidgetOf(m_hWnd);
  text = widget == nullptr ? CString() : CString(ui::WidgetText(widget).toStdString());
  return text.GetLength();
}

int CWnd::SetWindowRgn(HRGN region, BOOL redraw) { return ::SetWindowRgn(m_hWnd, region, redraw); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT) {
  const CString title = caption != nullptr
                            ? CString(caption)
                            : CString(QCoreApplication::applicationName().toStdString());
  if (MessageBoxHandler()) return MessageBoxHandler()(CString(text), title);
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title.GetString()),
                  QString::fromUtf8(text == nullptr ? "" : text), QMessageBox::Ok,
                  ui::WidgetOf(m_hWnd));
  box.setFont(ui::DialogFont(9));
  box.exec();
  return IDOK;
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(saveAndValidate, this);
  DoDataExchange(&exchange);
  return TRUE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) return OnCommand(LowWord(wParam), HighWord(wParam));
  for (const MessageMap* map = GetMessageMap(); map != nullptr;
       map = map->base == nullptr ? nullptr : map->base()) {
    for (const MessageMapEntry* e = map->entries; !IsEnd(*e); ++e) {
      if (e->message == message && e->onMessage != nullptr) {
        *result = (this->*(e->onMessage))(wParam, lParam);
        return TRUE;
      }
    }
  }
  return FALSE;
}

BOOL CWnd::OnCommand(UINT id, UINT code) {
  if (code != BN_CLICKED) return FALSE;
  for (const MessageMap* map = GetMessageMap(); map != nullptr;
       map = map->base == nullptr ? nullptr : map->base()) {
    for (const MessageMapEntry* e = map->entries; !IsEnd(*e); ++e) {
      if (e->message == WM_COMMAND && e->id == id && e->onCommand != nullptr) {
        (this->*(e->onCommand))();
        return TRUE;
      }
    }
  }
  return FALSE;
}

const MessageMap* CWnd::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{0, 0, nullptr, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!ui::IsLiveHandle(hwnd)) return FALSE;
  // The handle is resolved again on the GUI thread: the window may be gone by then.
  return ui::PostToGui([=] {
           if (CWnd* object = ui::ObjectOf(hwnd)) {
             LRESULT result = 0;
             object->OnWndMsg(message, wParam, lParam, &result);
           }
         })
             ? TRUE
             : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  if (!ui::OnGuiThread()) {
    if (!ui::IsLiveHandle(hwnd)) return FALSE;
    return ui::PostToGui([=] { ShowWindow(hwnd, command); }) ? TRUE : FALSE;
  }
  QWidget* widget = ui::WidgetOf(hwnd);
  if (widget == nullptr) return FALSE;
  const DWORD style = ui::StyleOf(hwnd);
  const BOOL wasVisible = (style & WS_VISIBLE) != 0 ? TRUE : FALSE;
  if (command == SW_HIDE) {
    widget->hide();
    ui::SetStyleBits(hwnd, style & ~WS_VISIBLE);
  } else {
    widget->show();
    if (widget->isWindow()) {
      widget->raise();
      widget->activateWindow();
    }
    ui::SetStyleBits(hwnd, style | WS_VISIBLE);
  }
  return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
  QWidget* widget = ui::WidgetOf(hwnd);
  return widget != nullptr && widget->isVisible() ? TRUE : FALSE;
}

HWND GetParent(HWND hwnd) {
  QWidget* widget = ui::WidgetOf(hwnd);
  for (QWidget* up = widget == nullptr ? nullptr : widget->parentWidget(); up != nullptr;
       up = up->parentWidget()) {
    if (const HWND parent = ui::HandleOf(up)) return parent;
  }
  return nullptr;
}

HWND SetParent(HWND child, HWND newParent) {
  QWidget* widget = ui::WidgetOf(child);
  if (widget == nullptr) return nullptr;
  const HWND previous = GetParent(child);
  const bool visible = widget->isVisible();
  widget->setParent(ui::WidgetOf(newParent), widget->windowFlags());
  if (visible) widget->show();  // re-parenting hides a widget
  return previous;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  QWidget* widget = ui::WidgetOf(hwnd);
  if (widget == nullptr) return FALSE;
  widget->update();
  return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL) {
  QWidget* widget = ui::WidgetOf(hwnd);
  if (widget == nullptr) return 0;
  if (region == nullptr) {
    widget->clearMask();
  } else {
    widget->setMask(ui::RegionOf(region));
  }
  ui::SetRegion(hwnd, region);
  return 1;
}

int GetSystemMetrics(int index) {
  if (index == SM_CXICON || index == SM_CYICON) return kIconPixels;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 0;
  if (index == SM_CXSCREEN) return screen->geometry().width();
  if (index == SM_CYSCREEN) return screen->geometry().height();
  return 0;
}

namespace ui {
void SetMessageBoxHandler(std::function<int(const CString&, const CString&)> handler) {
  MessageBoxHandler() = std::move(handler);
}
}  // namespace ui
