// When the camera goes away mid-stream: reconnection with its notice, or a
// clean end of the receive thread when reconnection is off.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/device/device.h"
#include "platform/sys/thread.h"
#include "tests/device/democam_process.h"
#include "tests/device/device_test_support.h"
#include "tests/device/ts_check.h"

namespace testing_device {
namespace {

struct Notices {
  std::atomic<int> reconnects{0};
  std::atomic<int> others{0};
  std::atomic<LONG> userId{-1};
  std::atomic<LONG> handle{-1};
  std::atomic<int> dataAtFirstReconnect{-1};
  StreamRecorder* recorder = nullptr;
};

void OnException(DWORD type, LONG userId, LONG handle, void* user) {
  auto* notices = static_cast<Notices*>(user);
  if (type == EXCEPTION_RECONNECT_SUCCEEDED) {
    if (notices->reconnects.fetch_add(1) == 0) {
      notices->dataAtFirstReconnect = notices->recorder->Count();
    }
    notices->userId = userId;
    notices->handle = handle;
  } else {
    notices->others.fetch_add(1);
  }
}

class DeviceReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_camera.Start(0, {"--size", "320x180"}));
    ASSERT_TRUE(NET_DVR_Init());
    NET_DVR_SetConnectTime(2000, 1);
    m_notices.recorder = &m_recorder;
    NET_DVR_SetExceptionCallBack_V30(0, nullptr, &OnException, &m_notices);
  }
  void TearDown() override {
    NET_DVR_Cleanup();
    EXPECT_EQ(sys::RunningThreadCount(), 0);
  }
  LONG StartPlay(DWORD linkMode = 0) {
    NET_DVR_DEVICEINFO_V30 info{};
    m_login =
        NET_DVR_Login_V30("127.0.0.1", static_cast<WORD>(m_camera.Port()), "admin", "60917", &info);
    if (m_login < 0) {
      return -1;
    }
    NET_DVR_PREVIEWINFO request{};
    request.lChannel = 1;
    request.dwStreamType = 0;
    request.dwLinkMode = linkMode;
    return NET_DVR_RealPlay_V40(m_login, &request, &StreamRecorder::Callback, &m_recorder);
  }

  void RestartCameraMidStream(DWORD linkMode) {
    NET_DVR_SetReconnect(200, TRUE);
    const LONG play = StartPlay(linkMode);
    ASSERT_GE(play, 0);
    ASSERT_TRUE(WaitFor([&] { return m_recorder.Count() >= 5; }, 20000));

    const int port = m_camera.Port();
    ASSERT_TRUE(m_camera.Stop());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a few failed attempts
    EXPECT_EQ(m_notices.reconnects.load(), 0);
    ASSERT_TRUE(m_camera.Start(port, {"--size", "320x180"}));

    ASSERT_TRUE(WaitFor([&] { return m_notices.reconnects.load() >= 1; }, 20000));
    EXPECT_EQ(m_notices.userId.load(), m_login);
    EXPECT_EQ(m_notices.handle.load(), play);
    const int atNotice = m_notices.dataAtFirstReconnect.load();
    ASSERT_TRUE(WaitFor([&] { return m_recorder.Count() >= atNotice + 5; }, 20000));
    EXPECT_TRUE(NET_DVR_StopRealPlay(play));

    EXPECT_EQ(m_notices.reconnects.load(), 1);
    EXPECT_EQ(m_notices.others.load(), 0);
    // One header for the whole play; the stream goes on under it and still
    // demuxes as one H.264 stream with key frames from both connections.
    const std::vector<Piece> pieces = m_recorder.Pieces();
    int headers = 0;
    for (const Piece& piece : pieces) {
      headers += piece.type == NET_DVR_SYSHEAD ? 1 : 0;
      EXPECT_TRUE(piece.wholePackets);
    }
    EXPECT_EQ(headers, 1);
    const TsSummary summary = DemuxTs(m_recorder.Bytes());
    EXPECT_TRUE(summary.h264);
    EXPECT_GE(summary.keyFrames, 2);
    EXPECT_EQ(summary.keyFramesWithSpsPps, summary.keyFrames);
  }

  DemoCamProcess m_camera;
  StreamRecorder m_recorder;
  Notices m_notices;
  LONG m_login = -1;
};

TEST_F(DeviceReconnectTest, CameraRestartBringsTheReconnectNoticeAndDataResumes) {
  RestartCameraMidStream(0);
}

TEST_F(DeviceReconnectTest, CameraRestartOverUdpBringsTheNoticeAndDataResumes) {
  RestartCameraMidStream(1);
}

TEST_F(DeviceReconnectTest, RestartedCameraIsAskedAtOnceNotAfterTheInterval) {
  // Within the connect time a refusing camera is asked again; the interval
  // only separates later attempts, so a quick restart never waits for it.
  NET_DVR_SetConnectTime(5000, 1);
  NET_DVR_SetReconnect(600000, TRUE);
  const LONG play = StartPlay();
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return m_recorder.Count() >= 5; }, 20000));
  const int port = m_camera.Port();
  ASSERT_TRUE(m_camera.Stop());
  ASSERT_TRUE(m_camera.Start(port, {"--size", "320x180"}));
  ASSERT_TRUE(WaitFor([&] { return m_notices.reconnects.load() >= 1; }, 20000))
      << "the first attempt waited the ten-minute interval";
  const int atNotice = m_notices.dataAtFirstReconnect.load();
  EXPECT_TRUE(WaitFor([&] { return m_recorder.Count() >= atNotice + 5; }, 20000));
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
}

TEST_F(DeviceReconnectTest, FrozenCameraIsNoticedByTheReadDeadlineAndReconnects) {
  NET_DVR_SetConnectTime(1000, 1);  // also the silence after which a stream counts as broken
  NET_DVR_SetReconnect(200, TRUE);
  const LONG play = StartPlay();
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return m_recorder.Count() >= 5; }, 20000));

  m_camera.Freeze();  // its connection stays open but nothing arrives
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(m_notices.reconnects.load(), 0);
  m_camera.Thaw();

  ASSERT_TRUE(WaitFor([&] { return m_notices.reconnects.load() >= 1; }, 20000));
  const int atNotice = m_notices.dataAtFirstReconnect.load();
  EXPECT_TRUE(WaitFor([&] { return m_recorder.Count() >= atNotice + 5; }, 20000));
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
}

TEST_F(DeviceReconnectTest, WithReconnectionOffTheReceiveThreadEndsCleanly) {
  NET_DVR_SetReconnect(200, FALSE);
  const LONG play = StartPlay();
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return m_recorder.Count() >= 5; }, 20000));
  ASSERT_EQ(sys::RunningThreadCount(), 1);

  ASSERT_TRUE(m_camera.Stop());
  EXPECT_TRUE(WaitFor([] { return sys::RunningThreadCount() == 0; }, 10000));
  const int count = m_recorder.Count();
  ASSERT_TRUE(m_camera.Start(m_camera.Port(), {"--size", "320x180"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(m_recorder.Count(), count);
  EXPECT_EQ(m_notices.reconnects.load(), 0);
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));  // the handle is still released normally
}

}  // namespace
}  // namespace testing_device
