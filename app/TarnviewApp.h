// The application object: runs the main dialog modally as the program's only
// top-level window; when it ends, the program ends.
#pragma once

#include "platform/sys/types.h"
#include "platform/ui/winapp.h"

class CTarnviewApp : public CWinApp {
 public:
  // Runs the main dialog; returns FALSE (the program ends after it).
  BOOL InitInstance();
};

extern CTarnviewApp theApp;
