// CWnd: a program object bound to a window handle, with the message map that
// routes posted messages and button commands to its handlers.
#pragma once

#include <functional>

#include "platform/ui/cstring.h"
#include "platform/ui/wintypes.h"

constexpr UINT WM_COMMAND = 0x0111;

class CWnd;
class CDataExchange;

// One row of a message map: a window message with its handler, or a button's
// BN_CLICKED command (message WM_COMMAND, the control id) with its handler.
struct MessageMapEntry {
  UINT message;
  UINT id;
  LRESULT (CWnd::*onMessage)(WPARAM, LPARAM);
  void (CWnd::*onCommand)();
};

struct MessageMap {
  const MessageMap* (*base)();  // null for CWnd
  const MessageMapEntry* entries;  // ends with a row of zeros
};

// In the class:     DECLARE_MESSAGE_MAP()
// In its .cpp file: BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//                     ON_MESSAGE(WM_USER + 3, OnStopSession)
//                     ON_BN_CLICKED(1000, OnStartTeaching)
//                   END_MESSAGE_MAP()
#define DECLARE_MESSAGE_MAP()                 \
 protected:                                   \
  static const MessageMap* GetThisMessageMap(); \
  const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                  \
  const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const MessageMap* theClass::GetThisMessageMap() {                             \
    using ThisClass = theClass;                                                 \
    using TheBaseClass = baseClass;                                             \
    static const MessageMapEntry entries[] = {
#define ON_MESSAGE(message, handler) \
  {message, 0, static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(&ThisClass::handler), nullptr},
#define ON_BN_CLICKED(id, handler) \
  {WM_COMMAND, id, nullptr, static_cast<void (CWnd::*)()>(&ThisClass::handler)},
#define END_MESSAGE_MAP()                                                    \
  {0, 0, nullptr, nullptr}};                                                 \
    static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                             \
  }

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();  // detaches from the window; the window itself stays
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The window's own object, or a plain CWnd standing for it; null for none.
  static CWnd* FromHandle(HWND hwnd);

  // Binds this object to an existing control of `parent`; runs PreSubclassWindow.
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  BOOL SubclassWindow(HWND hwnd);

  CWnd* GetDlgItem(int id) const;
  CWnd* GetParent() const;
  int GetDlgCtrlID() const;

  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  BOOL EnableWindow(BOOL enable = TRUE);  // returns whether it was disabled
  BOOL IsWindowEnabled() const;
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void GetClientRect(LPRECT rect) const;
  void ClientToScreen(LPRECT rect) const;
  void ScreenToClient(LPRECT rect) const;
  DWORD GetStyle() const;
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
  CWnd* SetParent(CWnd* newParent);
  CWnd* SetFocus();
  void Invalidate(BOOL erase = TRUE);

  void SetWindowText(const char* text);  // UTF-8
  int GetWindowText(CString& text) const;
  int SetWindowRgn(HRGN region, BOOL redraw);

  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // A message box over this window with an OK button; returns IDOK.
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  // Routes a message through the message maps; FALSE when no row handles it.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // A button command from control `id`; TRUE when handled.
  virtual BOOL OnCommand(UINT id, UINT code);

  virtual void PreSubclassWindow() {}
  // Called while the window is being destroyed, then once it is gone.
  virtual void OnDestroy() {}
  virtual void PostNcDestroy() {}

 protected:
  virtual void DoDataExchange(CDataExchange*) {}
  static const MessageMap* GetThisMessageMap();
  virtual const MessageMap* GetMessageMap() const;
};

// Win32-style calls on handles.
// Any thread: queued for the window's thread, delivered in the order posted;
// FALSE when the handle names no window.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Any thread: from other threads the change is queued like a posted message
// (so that a thread the GUI waits for never waits for the GUI in turn).
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND SetParent(HWND child, HWND newParent);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// On success the window owns the region (null removes it); returns 0 on failure.
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);
int GetSystemMetrics(int index);  // primary screen, pixels

namespace ui {
// Replaces the message box (tests): gets text and caption, returns the result.
void SetMessageBoxHandler(std::function<int(const CString& text, const CString& caption)> handler);
}  // namespace ui
