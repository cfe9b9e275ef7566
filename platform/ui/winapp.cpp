#include "platform/ui/winapp.h"

namespace {
CWinApp* s_pApp = nullptr;  // the one application object, while it exists
}  // namespace

CWinApp::CWinApp() { s_pApp = this; }

CWinApp::~CWinApp() {
  if (s_pApp == this) s_pApp = nullptr;
}

CWnd* AfxGetMainWnd() { return s_pApp != nullptr ? s_pApp->m_pMainWnd : nullptr; }
