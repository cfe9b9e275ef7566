// A session on the device and player doubles, on the virtual clock: session
// control, the intake, the ring and the DecThread are the real ones; the test
// plays the device's part (fakedevice::Deliver) and reads what the player got.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/sys/clock.h"
#include "session/DecThread.h"
#include "session/SessionControl.h"
#include "session/StreamRing.h"
#include "tests/doubles/FakeDevice.h"
#include "tests/doubles/FakePlayer.h"
#include "tests/integration/loopback_dialog.h"
#include "tests/worklog/LogReader.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace faults {

constexpr int kFakeCameraPort = 8000;  // the doubles connect nowhere
constexpr DWORD kStreamHeader = 1;     // data types of the stream intake
constexpr DWORD kStreamData = 2;

class FakeSessionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedevice::Reset();
    fakedevice::SetLoginResult(0);
    fakedevice::SetRealPlayResult(1);
    fakeplayer::Reset();
    g_lPlayPort = -1;
    g_workLog.OpenFile(m_logDir.Path().c_str());
    g_pStreamRing = StreamRing::Create();
    ASSERT_NE(g_pStreamRing, nullptr);
  }
  void TearDown() override {
    sys::SetVirtualSleepHook(nullptr);
    EndRunningSession(m_dialog);
    sys::UseRealClock();
    delete g_pStreamRing;
    g_pStreamRing = nullptr;
    g_workLog.Close();
  }

  std::vector<std::string> Log() const { return testutil::LogMessages(m_logDir.Path()); }

  int s_display = 0;
  testutil::TempDir m_logDir;
  integration::LoopbackDialog m_dialog{kFakeCameraPort, 2, reinterpret_cast<HWND>(&s_display)};
};

}  // namespace faults
