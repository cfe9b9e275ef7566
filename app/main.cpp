// Entry point: the dialog framework and the resources, then the application.
#include <QApplication>

#include "app/TarnviewApp.h"
#include "platform/ui/application.h"
#include "res/resources.h"
#include "res/version.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ui::SetUpApplication(res::kApplicationName);
  res::RegisterResources();
  theApp.InitInstance();
  return 0;
}
