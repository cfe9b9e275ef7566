#include "app/TarnviewApp.h"

#include "app/TarnviewDlg.h"

CTarnviewApp theApp;

BOOL CTarnviewApp::InitInstance() {
  // The dialog object is destroyed on every way out of this scope.
  CTarnviewDlg dlg;
  dlg.DoModal();
  return FALSE;
}
