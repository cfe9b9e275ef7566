#include <atomic>
#include <cstring>
#include <thread>

#include "tests/session_control/SessionFixture.h"

namespace {

using ::testing::ElementsAre;

// Holds every wait of the DecThread until the stop clears its run flag.
std::atomic<bool> s_decThreadWaiting;
void HoldDecThreadWaitsUntilStop() {
  s_decThreadWaiting = false;
  sys::SetVirtualSleepHook([](DWORD) {
    s_decThreadWaiting = true;
    while (InterlockedRead(&g_bTread) != 0) {
      std::this_thread::yield();
    }
  });
}
void AwaitDecThreadWait() {
  while (!s_decThreadWaiting) {
    std::this_thread::yield();
  }
}

class StartTeaching : public SessionFixture {};

TEST_F(StartTeaching, RefusesDelaysOutsideOneToSixtyAndChangesNothingElse) {
  g_nDelayMs = 7000;
  // A long number saturates instead of wrapping round to 1.
  for (const char* delay : {"0", "61", "-1", "abc", "", "4294967297"}) {
    m_dialog.values.delay = delay;
    m_dialog.events.clear();
    OnStartTeaching(m_dialog);
    EXPECT_THAT(m_dialog.events, ElementsAre("read", "message:延时范围需在1~60之间！")) << delay;
  }
  EXPECT_TRUE(fakedevice::Calls().empty());
  EXPECT_TRUE(LogMessages().empty());
  EXPECT_EQ(g_nDelayMs, 7000);
}

TEST_F(StartTeaching, AcceptsTheEdgesOfTheRange) {
  for (const char* delay : {"1", "60"}) {
    m_dialog.values.delay = delay;
    OnStartTeaching(m_dialog);
    EXPECT_EQ(g_nDelayMs, std::atoi(delay) * 1000);
    EXPECT_EQ(m_dialog.events.back(), "fullscreen");
    StopSession(m_dialog);
  }
}

TEST_F(StartTeaching, SucceedsWithLogLinesButtonsAndFullScreenInOrder) {
  fakedevice::SetDeviceInfo(3, 4, 1);
  OnStartTeaching(m_dialog);

  EXPECT_THAT(LogMessages(),
              ElementsAre("IP is 192.168.1.64, nPort is 8000, strUserName is admin, strPsd is "
                          "******, nDelaytime:2 \n",
                          "login suc,byDVRType:3,byChanNum:4,byStartChan:1\n",
                          "ch:1,steamtype:0,linkmode:0\n", "play suc\n"));
  EXPECT_THAT(fakedevice::CallNames(),
              ElementsAre("NET_DVR_Login_V30", "NET_DVR_SetExceptionCallBack_V30",
                          "NET_DVR_RealPlay_V40", "NET_DVR_GetRealPlayLinkMode"));
  EXPECT_EQ(fakedevice::Calls()[0].args, "192.168.1.64,8000,admin,60917");
  EXPECT_EQ(fakedevice::Calls()[1].args, "0,null,null");
  EXPECT_EQ(fakedevice::Calls()[2].args, "5,null");
  EXPECT_THAT(m_dialog.events, ElementsAre("read", "start:off", "cancel:on", "fullscreen"));
  EXPECT_EQ(g_lUserID, 5);
  EXPECT_EQ(g_lRealHandle, 9);
  EXPECT_EQ(g_hPlayWnd, reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(InterlockedRead(&g_bTread), 1);
  EXPECT_EQ(LogText().find("60917"), std::string::npos);
}

TEST_F(StartTeaching, RequestBlockCarriesChannelOneAndTheConfiguredTypeAndMode) {
  g_settings.dwStreamType = 1;
  g_settings.dwLinkMode = 1;
  fakedevice::SetDeviceInfo(0, 16, 33);  // a recorder whose first channel is 33
  OnStartTeaching(m_dialog);

  NET_DVR_PREVIEWINFO request = fakedevice::LastRequest();
  BYTE bytes[sizeof request];
  std::memcpy(bytes, &request, sizeof request);
  const BYTE head[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, head, sizeof head), 0);
  for (size_t i = sizeof head; i < sizeof bytes; ++i) {
    ASSERT_EQ(bytes[i], 0) << "offset " << i;
  }
  EXPECT_EQ(LogMessages()[2], "ch:1,steamtype:1,linkmode:1\n");
  EXPECT_EQ(LogMessages()[3], "play suc\n");
}

TEST_F(StartTeaching, LogsTheOtherLinkModeWhenTheDeviceRefusedTheOneAsked) {
  for (const LONG asked : {0, 1}) {
    g_settings.dwLinkMode = asked;
    fakedevice::SetUsedLinkMode(1 - asked);
    OnStartTeaching(m_dialog);
    const std::vector<std::string> lines = LogMessages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "linkmode " + std::to_string(asked) + " refused, linkmode " +
                                           std::to_string(1 - asked) + " used\n");
    EXPECT_EQ(lines.back(), "play suc\n");
    StopSession(m_dialog);
  }
}

TEST_F(StartTeaching, CutsPasswordToSixteenAndUserNameToNinetyNine) {
  m_dialog.values.password = "abcdefghijklmnopqrst";  // 20 characters
  m_dialog.values.userName = std::string(120, 'u');
  const BYTE ip[4] = {10, 0, 0, 5};
  std::copy(ip, ip + 4, m_dialog.values.ip);
  m_dialog.values.port = "554x";
  OnStartTeaching(m_dialog);

  EXPECT_EQ(fakedevice::Calls()[0].args,
            "10.0.0.5,554," + std::string(99, 'u') + ",abcdefghijklmnop");
  EXPECT_EQ(LogText().find("abcdefghij"), std::string::npos);
}

TEST_F(StartTeaching, PortOutsideTheTcpRangeReachesTheDeviceAsZero) {
  // 4294975296 is 8000 once wrapped to 32 bits: it must not log in there.
  for (const char* port : {"70000", "0", "-5", "4294975296"}) {
    fakedevice::Reset();
    fakedevice::SetLoginResult(-1);
    m_dialog.values.port = port;
    OnStartTeaching(m_dialog);
    EXPECT_EQ(fakedevice::Calls()[0].args, "192.168.1.64,0,admin,60917") << port;
  }
}

TEST_F(StartTeaching, LoginFailureLogsTheErrorAndShowsTheMessage) {
  fakedevice::SetLoginResult(-1);
  fakedevice::SetLastError(6);
  OnStartTeaching(m_dialog);

  EXPECT_EQ(LogMessages().back(), "Login error, 6\n");
  EXPECT_THAT(fakedevice::CallNames(), ElementsAre("NET_DVR_Login_V30"));
  EXPECT_THAT(m_dialog.events, ElementsAre("read", "message:登录失败！"));
}

TEST_F(StartTeaching, RealPlayFailureLogsOutCleansUpAndNextStartSetsTheSdkUpAgain) {
  fakedevice::SetRealPlayResult(-1);
  fakedevice::SetLastError(8);
  OnStartTeaching(m_dialog);

  EXPECT_EQ(LogMessages().back(), "NET_DVR_RealPlay_V40 error:8\n");
  EXPECT_THAT(fakedevice::CallNames(),
              ElementsAre("NET_DVR_Login_V30", "NET_DVR_SetExceptionCallBack_V30",
                          "NET_DVR_RealPlay_V40", "NET_DVR_Logout", "NET_DVR_Cleanup"));
  EXPECT_THAT(m_dialog.events, ElementsAre("read", "message:登录成功，播放失败！"));

  fakedevice::Reset();
  fakedevice::SetLoginResult(5);
  fakedevice::SetRealPlayResult(9);
  g_settings.rtspPath = "/live/{stream}";
  OnStartTeaching(m_dialog);
  const auto calls = fakedevice::Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].name, "NET_DVR_Init");
  EXPECT_EQ(calls[1].name, "NET_DVR_SetConnectTime");
  EXPECT_EQ(calls[1].args, "2000,1");
  EXPECT_EQ(calls[2].name, "NET_DVR_SetReconnect");
  EXPECT_EQ(calls[2].args, "10000,1");
  EXPECT_EQ(calls[3].name, "NET_DVR_SetRtspPath");
  EXPECT_EQ(calls[3].args, "/live/{stream}");
  EXPECT_EQ(calls[4].name, "NET_DVR_Login_V30");
  EXPECT_EQ(calls[calls.size() - 2].name, "NET_DVR_RealPlay_V40");
  EXPECT_EQ(m_dialog.events.back(), "fullscreen");
}

class StopSessionTest : public SessionFixture {};

TEST_F(StopSessionTest, WhileIdleRunsEveryStepWithTheHandlesLeft) {
  g_lUserID = -1;
  g_lRealHandle = 0;
  StopSession(m_dialog);

  EXPECT_THAT(LogMessages(), ElementsAre("stop DecThread\n", "stopplay suc\n", "logout suc\n"));
  EXPECT_THAT(fakedevice::CallNames(), ElementsAre("NET_DVR_StopRealPlay", "NET_DVR_Logout"));
  EXPECT_EQ(fakedevice::Calls()[0].args, "0");
  EXPECT_EQ(fakedevice::Calls()[1].args, "-1");
  const auto calls = fakeplayer::Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].name, "PlayM4_Stop");
  EXPECT_EQ(calls[1].name, "PlayM4_CloseStream");
  EXPECT_EQ(calls[2].name, "PlayM4_FreePort");
  for (const auto& call : calls) {
    EXPECT_EQ(call.port, -1);
  }
  EXPECT_THAT(m_dialog.events, ElementsAre("picture:drop", "start:on", "cancel:off"));
}

TEST_F(StopSessionTest, BeforeTheHeaderCameDoesNotWaitAndPassesNoPort) {
  OnStartTeaching(m_dialog);
  StopSession(m_dialog);
  for (const auto& call : fakeplayer::Calls()) {
    EXPECT_EQ(call.port, -1) << call.name;
  }
  EXPECT_EQ(sys::RunningThreadCount(), 0);
}

TEST_F(StopSessionTest, DuringAWaitEndsTheDecThreadFirstThenPlayThenLogin) {
  // A record is in the ring before the header, so the DecThread's first turn
  // takes it and waits; the hook holds that wait until the stop.
  {
    CSLock lock(g_csStream);
    const BYTE leftover[3] = {7, 7, 7};
    g_pStreamRing->StoreRecord(GetTickCount(), leftover, 3);
  }
  HoldDecThreadWaitsUntilStop();
  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 1, 2, 3});
  ASSERT_NE(g_hDecThread.load(), nullptr);
  AwaitDecThreadWait();
  StopSession(m_dialog);

  const auto log = LogMessages();
  const std::vector<std::string> tail(log.end() - 6, log.end());
  EXPECT_THAT(
      tail, ElementsAre("start  DecThread\n", "in DecThread,nTSpan >40000 || !g_bTread break\n",
                        "exit  DecThread\n", "stop DecThread\n", "stopplay suc\n", "logout suc\n"));
  // The record in hand was still fed, to the port that was then freed.
  const auto fed = fakeplayer::Calls("PlayM4_InputData");
  ASSERT_EQ(fed.size(), 1u);
  EXPECT_EQ(fed[0].data, (std::vector<BYTE>{7, 7, 7}));
  const auto freed = fakeplayer::Calls("PlayM4_FreePort");
  ASSERT_EQ(freed.size(), 1u);
  EXPECT_EQ(freed[0].port, 3);
  EXPECT_EQ(g_lPlayPort, -1);
  EXPECT_EQ(g_hDecThread.load(), nullptr);
  EXPECT_EQ(sys::RunningThreadCount(), 0);
  EXPECT_EQ(fakedevice::CallNames().back(), "NET_DVR_Logout");
}

TEST_F(StopSessionTest, DiscardsWhatTheSessionLeftSoTheNextOneStartsClean) {
  HoldDecThreadWaitsUntilStop();
  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 1, 2, 3});
  AwaitDecThreadWait();
  fakedevice::Deliver(NET_DVR_STREAMDATA, {0x47, 4, 5, 6});
  ASSERT_GT(g_pStreamRing->GetDataLen(), 0u);
  m_dialog.events.clear();
  StopSession(m_dialog);

  EXPECT_EQ(g_pStreamRing->GetDataLen(), 0u);
  EXPECT_EQ(g_pStreamRing->GetReadPos(), g_pStreamRing->GetWritePos());
  // The display lets go of the ended session's picture.
  EXPECT_THAT(m_dialog.events, ElementsAre("picture:drop", "start:on", "cancel:off"));
}

TEST_F(StopSessionTest, EndRunningSessionStopsOnlyWhatRuns) {
  EndRunningSession(m_dialog);
  EXPECT_TRUE(LogMessages().empty());
  EXPECT_TRUE(fakedevice::Calls().empty());

  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 0, 0, 0});
  EndRunningSession(m_dialog);
  EXPECT_EQ(LogMessages().back(), "logout suc\n");
  EXPECT_EQ(g_hDecThread.load(), nullptr);
  EXPECT_EQ(g_lPlayPort, -1);
  EXPECT_EQ(sys::RunningThreadCount(), 0);
}

TEST(DeviceException, ReconnectionWritesTheSecondsSince1970) {
  testutil::TempDir dir;
  ASSERT_NE(g_workLog.OpenFile(dir.Path().c_str()), nullptr);
  sys::UseFixedWallClock(1700000000);
  DeviceExceptionProc(0x8005, 0, 0, nullptr);
  DeviceExceptionProc(0x8000, 0, 0, nullptr);
  DeviceExceptionProc(0x8006, 0, 0, nullptr);
  sys::UseRealWallClock();
  g_workLog.Close();
  EXPECT_EQ(testutil::ReadFile(dir.Path() + "/log/Tarnview.txt"),
            "2023-11-15 06:13:20  ----------reconnect--------1700000000\n");
}

}  // namespace
