// The device layer against the demo camera on loopback: login, failures and
// their error numbers, real play over TCP and UDP, stop and clean-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/device/device.h"
#include "platform/sys/thread.h"
#include "tests/device/democam_process.h"
#include "tests/device/device_test_support.h"
#include "tests/device/ts_check.h"
#include "tests/worklog/TempDir.h"

namespace testing_device {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr DWORD kConnectWaitMs = 2000;  // what the program sets

class DeviceCameraTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_camera = new DemoCamProcess;
    // Half size keeps the camera's encoder light on busy cores.
    ASSERT_TRUE(s_camera->Start(0, {"--size", "640x360", "--bitrate", "1000"}));
  }
  static void TearDownTestSuite() {
    EXPECT_TRUE(s_camera->Stop());  // the camera exits cleanly on SIGTERM
    delete s_camera;
    s_camera = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(NET_DVR_Init());
    NET_DVR_SetConnectTime(kConnectWaitMs, 1);
    NET_DVR_SetReconnect(10000, TRUE);
  }
  void TearDown() override {
    NET_DVR_Cleanup();
    NET_DVR_SetRtspPath(nullptr);
    EXPECT_EQ(sys::RunningThreadCount(), 0) << "a receive thread outlived the clean-up";
  }

  static WORD Port() { return static_cast<WORD>(s_camera->Port()); }
  static LONG Login(const char* user = "admin", const char* password = "60917") {
    NET_DVR_DEVICEINFO_V30 info{};
    return NET_DVR_Login_V30(kHost, Port(), user, password, &info);
  }
  static LONG Play(LONG login, StreamRecorder* recorder, DWORD streamType, DWORD linkMode,
                   LONG channel = 1) {
    NET_DVR_PREVIEWINFO request{};
    request.lChannel = channel;
    request.dwStreamType = streamType;
    request.dwLinkMode = linkMode;
    return NET_DVR_RealPlay_V40(login, &request, &StreamRecorder::Callback, recorder);
  }
  // The recorded stream once it holds `keyFrames` key frames (bounded wait).
  static TsSummary WaitForKeyFrames(const StreamRecorder& recorder, int keyFrames) {
    TsSummary summary;
    WaitFor([&] { return (summary = DemuxTs(recorder.Bytes())).keyFrames >= keyFrames; }, 20000);
    return summary;
  }

  static DemoCamProcess* s_camera;
};

DemoCamProcess* DeviceCameraTest::s_camera = nullptr;

TEST_F(DeviceCameraTest, LoginSucceedsAndFillsTheDeviceBlock) {
  NET_DVR_DEVICEINFO_V30 info;
  std::memset(&info, 0xAB, sizeof info);
  const LONG login = NET_DVR_Login_V30(kHost, Port(), "admin", "60917", &info);
  ASSERT_GE(login, 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_NOERROR);
  const auto* bytes = reinterpret_cast<const BYTE*>(&info);
  EXPECT_EQ(bytes[51], NET_DVR_DEVTYPE_RTSP_CAMERA);
  EXPECT_EQ(bytes[52], 1);  // channel count
  EXPECT_EQ(bytes[53], 1);  // first channel
  EXPECT_EQ(bytes[0], 0);   // the rest is cleared, not left as it was
  EXPECT_TRUE(NET_DVR_Logout(login));
  EXPECT_FALSE(NET_DVR_Logout(login));
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_HANDLE);
}

TEST_F(DeviceCameraTest, LoginFailuresComeBackFastWithTheirOwnErrorNumbers) {
  NET_DVR_DEVICEINFO_V30 info{};
  auto start = std::chrono::steady_clock::now();
  EXPECT_LT(NET_DVR_Login_V30(kHost, Port(), "admin", "wrong", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PASSWORD);
  EXPECT_LT(ElapsedMs(start), static_cast<long>(kConnectWaitMs));

  start = std::chrono::steady_clock::now();
  EXPECT_LT(NET_DVR_Login_V30(kHost, Port(), "nobody", "60917", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PASSWORD);

  const LoopbackSocket closed(false);
  start = std::chrono::steady_clock::now();
  EXPECT_LT(NET_DVR_Login_V30(kHost, closed.Port(), "admin", "60917", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_CONNECT);
  EXPECT_LT(ElapsedMs(start), static_cast<long>(kConnectWaitMs));

  EXPECT_LT(NET_DVR_Login_V30("x@127.0.0.1", Port(), "admin", "60917", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
  EXPECT_LT(NET_DVR_Login_V30(nullptr, Port(), "admin", "60917", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
  EXPECT_LT(NET_DVR_Login_V30(kHost, Port(), "admin", "60917", nullptr), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
}

TEST_F(DeviceCameraTest, UnknownChannelOrStreamFailsFastWithItsOwnErrorNumber) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LT(Play(login, &recorder, 0, 0, 2), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_STREAM);
  EXPECT_LT(ElapsedMs(start), static_cast<long>(kConnectWaitMs));
  EXPECT_EQ(recorder.Count(), 0);

  EXPECT_LT(Play(login, &recorder, 2, 0), 0);  // stream type 2 does not exist
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
  EXPECT_LT(Play(login + 100, &recorder, 0, 0), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_HANDLE);
  EXPECT_FALSE(NET_DVR_StopRealPlay(12345));
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_HANDLE);
}

TEST_F(DeviceCameraTest, ServerThatAcceptsButNeverAnswersFailsWithinTheConnectTime) {
  constexpr DWORD kWaitMs = 700;
  NET_DVR_SetConnectTime(kWaitMs, 1);
  const LoopbackSocket mute(true);
  NET_DVR_DEVICEINFO_V30 info{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LT(NET_DVR_Login_V30(kHost, mute.Port(), "admin", "60917", &info), 0);
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_TIMEOUT);
  EXPECT_GE(elapsed, static_cast<long>(kWaitMs) - 50);
  EXPECT_LT(elapsed, static_cast<long>(kWaitMs) + 1500);  // generous: catches a hang only
}

TEST_F(DeviceCameraTest, EachAttemptGetsTheConnectTimeWhenNothingAnswers) {
  constexpr DWORD kWaitMs = 400;
  NET_DVR_SetConnectTime(kWaitMs, 3);
  const LoopbackSocket mute(true);
  NET_DVR_DEVICEINFO_V30 info{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LT(NET_DVR_Login_V30(kHost, mute.Port(), "admin", "60917", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_TIMEOUT);
  EXPECT_GE(ElapsedMs(start), static_cast<long>(3 * kWaitMs) - 100);
  // A refused password is an answer: no second attempt.
  EXPECT_LT(NET_DVR_Login_V30(kHost, Port(), "admin", "wrong", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PASSWORD);
  EXPECT_FALSE(NET_DVR_SetConnectTime(0, 1));
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
}

TEST_F(DeviceCameraTest, RealPlayDeliversOneHeaderThenH264InMpegTsWithSpsPpsAtKeyFrames) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  const LONG play = Play(login, &recorder, 0, 0);
  ASSERT_GE(play, 0);
  const TsSummary summary = WaitForKeyFrames(recorder, 2);
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));

  const std::vector<Piece> pieces = recorder.Pieces();
  ASSERT_GE(pieces.size(), 2u);
  EXPECT_EQ(pieces.front().type, NET_DVR_SYSHEAD);
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_TRUE(pieces[i].wholePackets) << "piece " << i;
    EXPECT_GT(pieces[i].size, 0u) << "piece " << i;
    if (i > 0) {
      EXPECT_EQ(pieces[i].type, NET_DVR_STREAMDATA) << "piece " << i;
    }
  }
  // The header is the PSI: PAT (PID 0) and PMT, nothing of the video.
  const std::vector<int> headerPids = PidsOf(recorder.HeaderBytes());
  EXPECT_NE(std::find(headerPids.begin(), headerPids.end(), 0), headerPids.end());
  EXPECT_NE(std::find(headerPids.begin(), headerPids.end(), 0x1000), headerPids.end());
  EXPECT_EQ(std::find(headerPids.begin(), headerPids.end(), 0x100), headerPids.end());

  EXPECT_TRUE(summary.opened);
  EXPECT_TRUE(summary.h264);
  EXPECT_GE(summary.keyFrames, 2);
  EXPECT_EQ(summary.keyFramesWithSpsPps, summary.keyFrames);
  EXPECT_GT(summary.frames, summary.keyFrames);
}

TEST_F(DeviceCameraTest, UdpLinkModeDeliversTheSubStream) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  const LONG play = Play(login, &recorder, 1, 1);
  ASSERT_GE(play, 0) << NET_DVR_GetLastError();
  const TsSummary summary = WaitForKeyFrames(recorder, 1);
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
  EXPECT_EQ(recorder.Pieces().front().type, NET_DVR_SYSHEAD);
  EXPECT_TRUE(summary.h264);
  EXPECT_GE(summary.keyFrames, 1);
  EXPECT_EQ(summary.keyFramesWithSpsPps, summary.keyFrames);
}

TEST_F(DeviceCameraTest, NoCallbackRunsOnceStopRealPlayHasReturned) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  recorder.SetCallbackDelayMs(15);  // most stops now meet a callback in progress
  const LONG play = Play(login, &recorder, 0, 0);
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 5; }, 20000));
  ASSERT_TRUE(NET_DVR_StopRealPlay(play));
  EXPECT_FALSE(recorder.InCallback());
  const int count = recorder.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(recorder.Count(), count);
  EXPECT_FALSE(NET_DVR_StopRealPlay(play));  // a handle is stopped once
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_HANDLE);
  EXPECT_EQ(sys::RunningThreadCount(), 0);
}

TEST_F(DeviceCameraTest, LogoutStopsTheLoginsRealPlays) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  const LONG play = Play(login, &recorder, 1, 0);
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 2; }, 20000));
  EXPECT_TRUE(NET_DVR_Logout(login));
  EXPECT_EQ(sys::RunningThreadCount(), 0);
  const int count = recorder.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(recorder.Count(), count);
}

TEST_F(DeviceCameraTest, CleanupEndsEverythingAndCallsFailUntilTheNextInit) {
  const LONG login = Login();
  ASSERT_GE(login, 0);
  StreamRecorder recorder;
  const LONG play = Play(login, &recorder, 1, 0);
  ASSERT_GE(play, 0);
  ASSERT_TRUE(WaitFor([&] { return recorder.Count() >= 2; }, 20000));

  EXPECT_TRUE(NET_DVR_Cleanup());
  EXPECT_EQ(sys::RunningThreadCount(), 0);
  const int count = recorder.Count();
  EXPECT_LT(Login(), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NOT_INITIALISED);
  EXPECT_FALSE(NET_DVR_StopRealPlay(play));
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NOT_INITIALISED);
  EXPECT_FALSE(NET_DVR_SetConnectTime(1000, 1));
  EXPECT_FALSE(NET_DVR_Cleanup());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(recorder.Count(), count);

  ASSERT_TRUE(NET_DVR_Init());
  const LONG again = Login();
  EXPECT_GE(again, 0);
  EXPECT_NE(again, login);  // handles are not reused
}

TEST_F(DeviceCameraTest, ReservedCharactersInUserAndPasswordLogIn) {
  DemoCamProcess camera;
  constexpr const char* kUser = "op@cam/1%";
  constexpr const char* kPassword = "p:w@/%25x";
  // From a file: a password in the camera's arguments is readable by anyone.
  testutil::TempDir dir;
  testutil::WriteFile(dir.Path() + "/password", std::string(kPassword) + "\n");
  ASSERT_TRUE(camera.Start(
      0, {"--size", "320x180", "--user", kUser, "--password-file", dir.Path() + "/password"}));
  NET_DVR_DEVICEINFO_V30 info{};
  const WORD port = static_cast<WORD>(camera.Port());
  const LONG login = NET_DVR_Login_V30(kHost, port, kUser, kPassword, &info);
  EXPECT_GE(login, 0) << NET_DVR_GetLastError();
  EXPECT_LT(NET_DVR_Login_V30(kHost, port, kUser, "p:w@/%x", &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PASSWORD);
  // A ':' in the password is fine; in a user name it cannot be sent as it is.
  EXPECT_LT(NET_DVR_Login_V30(kHost, port, "op:cam", kPassword, &info), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
  EXPECT_TRUE(camera.Stop());
}

TEST_F(DeviceCameraTest, PathTemplateChoosesTheRtspPath) {
  EXPECT_TRUE(NET_DVR_SetRtspPath("/ch{ch}/{stream}"));
  EXPECT_GE(Login(), 0);
  EXPECT_TRUE(NET_DVR_SetRtspPath("/live/{streamno}"));  // a path the camera lacks
  EXPECT_LT(Login(), 0);
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_NO_SUCH_STREAM);
  EXPECT_FALSE(NET_DVR_SetRtspPath("/ch 1"));
  EXPECT_EQ(NET_DVR_GetLastError(), NET_DVR_ERR_PARAMETER);
  EXPECT_TRUE(NET_DVR_SetRtspPath(nullptr));  // the default again
  EXPECT_GE(Login(), 0);
  EXPECT_TRUE(NET_DVR_SetRtspPath("/live/{streamno}"));
  EXPECT_TRUE(NET_DVR_SetRtspPath(""));
  EXPECT_GE(Login(), 0);
}

}  // namespace
}  // namespace testing_device
