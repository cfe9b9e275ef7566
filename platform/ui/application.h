// The application object's share of the dialog framework: the look and the
// language of every window, and the main window that ownerless modal dialogs
// are shown over.
#pragma once

#include <QPalette>

#include "platform/ui/wnd.h"

namespace ui {
// Sets the running QApplication up as the program's dialogs expect: the
// classic look ("Windows" style and the system colours) for every window,
// message boxes and menus included, the framework's own texts
// (message box buttons, edit menus) in Simplified Chinese, and `name` as the
// application's name, which message boxes show as their caption. What cannot
// be had is said on stderr and the rest still applies.
void SetUpApplication(const char* name);

// The classic grey look of the system colours.
QPalette ClassicPalette();
}  // namespace ui

// Base of the application object; exactly one exists while the program runs.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The main window while it runs: a modal dialog without a parent is shown
  // over it. Set and cleared by the application object.
  CWnd* m_pMainWnd = nullptr;
};

// The application object's main window, or null (no application object, or
// no main window at the moment).
CWnd* AfxGetMainWnd();
