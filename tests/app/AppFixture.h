// Runs the program's dialogs on the offscreen platform with the device SDK and
// the player replaced by recording doubles, in a fresh current directory
// (config.ini and log/ live there) and a fresh home (snapshots go there).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/handles.h"
#include "res/resources.h"
#include "session/DecThread.h"
#include "tests/doubles/FakeDevice.h"
#include "tests/doubles/FakePlayer.h"
#include "tests/worklog/TempDir.h"
#include "tests/worklog/LogReader.h"
#include "worklog/WorkLog.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    res::RegisterResources();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_oldCwd = cwd;
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    m_oldHome = std::getenv("HOME");
    setenv("HOME", m_dir.Path().c_str(), 1);
    fakedevice::Reset();
    fakeplayer::Reset();
    g_lPlayPort = -1;
    // The web screens stay off unless a test turns them on: they would listen
    // on every address of the machine.
    WriteConfig("[SysParam]\nwebListen=0\n");
  }

  void TearDown() override {
    g_workLog.Close();
    setenv("HOME", m_oldHome.c_str(), 1);
    ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
  }

  // Runs `during` once the modal loop of a dialog runs.
  static void Soon(std::function<void()> during) { QTimer::singleShot(0, std::move(during)); }

  // Lets the GUI thread handle what was posted until `done` holds (at most 5 s).
  static bool ProcessUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
  }

  void WriteConfig(const std::string& text) const {
    std::ofstream(m_dir.Path() + "/config.ini") << text;
  }

  std::vector<std::string> LogMessages() const { return testutil::LogMessages(m_dir.Path()); }

  testutil::TempDir m_dir;
  std::string m_oldCwd;
  std::string m_oldHome;
};
