// Entry point: the dialog framework and the resources, then the application.
#include <QApplication>

#include "app/TarnviewApp.h"
#include "res/resources.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  res::RegisterResources();
  theApp.InitInstance();
  return 0;
}
