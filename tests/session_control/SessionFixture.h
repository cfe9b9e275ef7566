// Shared set-up for the session tests: the program as it stands after start-up
// (ring created, device SDK set up, work log open in a temporary folder), with
// the device SDK and the player replaced by recording doubles and a dialog
// that records what session control asks of it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "config/LocalConfig.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/sys/wallclock.h"
#include "session/DecThread.h"
#include "session/SessionControl.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"
#include "tests/doubles/FakeDevice.h"
#include "tests/doubles/FakePlayer.h"
#include "tests/worklog/TempDir.h"
#include "tests/worklog/LogReader.h"
#include "worklog/WorkLog.h"

class RecordingDialog : public SessionDialog {
 public:
  SessionValues values;
  // "read", "start:on", "cancel:off", "message:...", "fullscreen", "picture:drop"
  std::vector<std::string> events;

  SessionValues ReadSessionValues() override {
    events.push_back("read");
    return values;
  }
  void EnableStartButton(bool enable) override {
    events.push_back(enable ? "start:on" : "start:off");
  }
  void EnableCancelButton(bool enable) override {
    events.push_back(enable ? "cancel:on" : "cancel:off");
  }
  void ShowMessage(const char* text) override { events.push_back(std::string("message:") + text); }
  HWND GetDisplayWindow() override { return reinterpret_cast<HWND>(0x1234); }
  void ShowDisplayFullScreen() override { events.push_back("fullscreen"); }
  void DropDisplayPicture() override { events.push_back("picture:drop"); }
};

class SessionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::UseVirtualClock(1000000);
    ASSERT_NE(g_workLog.OpenFile(m_dir.Path().c_str()), nullptr);
    g_pStreamRing = StreamRing::Create();
    ASSERT_NE(g_pStreamRing, nullptr);
    fakeplayer::Reset();
    fakeplayer::SetPort(3);
    fakedevice::Reset();
    fakedevice::SetLoginResult(5);
    fakedevice::SetRealPlayResult(9);
    InitDeviceSdk();
    fakedevice::Reset();
    fakedevice::SetLoginResult(5);
    fakedevice::SetRealPlayResult(9);
    g_settings = Settings{};
    m_dialog.values = ValidValues();
  }

  void TearDown() override {
    EndRunningSession(m_dialog);
    sys::UseRealClock();
    // A session's start may have given the ring another size.
    delete g_pStreamRing;
    g_pStreamRing = nullptr;
    g_workLog.Close();
  }

  static SessionValues ValidValues() {
    SessionValues values;
    const BYTE ip[4] = {192, 168, 1, 64};
    std::copy(ip, ip + 4, values.ip);
    values.port = "8000";
    values.userName = "admin";
    values.password = "60917";
    values.delay = "2";
    return values;
  }

  std::vector<std::string> LogMessages() const { return testutil::LogMessages(m_dir.Path()); }

  std::string LogText() const { return testutil::ReadFile(m_dir.Path() + "/log/Tarnview.txt"); }

  testutil::TempDir m_dir;
  RecordingDialog m_dialog;
};
