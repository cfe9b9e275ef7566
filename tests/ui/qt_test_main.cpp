// GoogleTest main for tests that need a QApplication (offscreen platform),
// set up as the program sets itself up.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/ui/application.h"
#include "res/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::SetUpApplication(res::kApplicationName);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
