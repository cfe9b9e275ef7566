// Window handles: opaque values issued here, mapped to the widgets they name.
// Program code holds only handles; the widget behind one is reached on the GUI
// thread alone. A handle is never reused, so a stale one simply names nothing.
#pragma once

#include <QWidget>

#include "platform/ui/wintypes.h"

class CWnd;

namespace ui {

// Issues a handle for `widget`; the handle dies with the widget.
HWND RegisterWindow(QWidget* widget, DWORD style, DWORD exStyle, int ctrlId);

// Any thread: whether the handle names a live window.
bool IsLiveHandle(HWND hwnd);
bool OnGuiThread();

// GUI thread only.
QWidget* WidgetOf(HWND hwnd);
HWND HandleOf(const QWidget* widget);
int CtrlIdOf(HWND hwnd);
DWORD StyleOf(HWND hwnd);
void SetStyleBits(HWND hwnd, DWORD style);
DWORD ExStyleOf(HWND hwnd);

// The program object attached to a window (a dialog, or a subclassing
// control), or null. A window has at most one.
CWnd* ObjectOf(HWND hwnd);
bool AttachObject(HWND hwnd, CWnd* object);
void DetachObject(HWND hwnd, const CWnd* object);

// A plain CWnd standing for a window that has no object of its own; it lives
// as long as the window.
CWnd* WrapperOf(HWND hwnd);

// The window takes ownership of `region` (null removes the region).
void SetRegion(HWND hwnd, HRGN region);

// Runs `task` on the GUI thread after everything posted before it.
bool PostToGui(std::function<void()> task);

}  // namespace ui
