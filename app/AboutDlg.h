// The about box: dialog 100, modal over the main dialog.
#pragma once

#include "platform/ui/dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};
