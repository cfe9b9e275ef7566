#include "app/TarnviewApp.h"

#include "app/TarnviewDlg.h"

CTarnviewApp theApp;

BOOL CTarnviewApp::InitInstance() {
  // The dialog object is destroyed on every way out of this scope.
  CTarnviewDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
