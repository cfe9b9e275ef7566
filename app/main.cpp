// Entry point: the window system, the dialog framework and the resources, then
// the application.
#include <QApplication>

#include "app/TarnviewApp.h"
#include "platform/ui/application.h"
#include "platform/ui/windowsystem.h"
#include "res/resources.h"
#include "res/version.h"

int main(int argc, char** argv) {
  ui::ChooseWindowSystem();
  QApplication application(argc, argv);
  ui::SetUpApplication(res::kApplicationName);
  res::RegisterResources();
  theApp.InitInstance();
  return 0;
}
