// CWinApp: the application object's base, which names the main window that a
// modal dialog without a parent is shown over.
#pragma once

#include "platform/ui/wnd.h"

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
