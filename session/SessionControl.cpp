#include "session/SessionControl.h"

#include <cstdio>
#include <cstring>

#include "config/DecimalText.h"
#include "config/LocalConfig.h"
#include "config/PasswordMask.h"
#include "platform/device/device.h"
#include "platform/player/player.h"
#include "platform/sys/lock.h"
#include "platform/sys/thread.h"
#include "platform/sys/wallclock.h"
#include "session/DecThread.h"
#include "session/StreamHistory.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"
#include "worklog/WorkLog.h"

LONG g_lUserID = -1;
LONG g_lRealHandle = 0;

namespace {

constexpr LONG kChannel = 1;           // the device's first channel, always
constexpr size_t kUserNameChars = 99;  // 100-byte field, kept terminated
constexpr size_t kPasswordChars = 16;  // the device takes at most 16
constexpr int kMinDelaySeconds = 1;
constexpr int kMaxDelaySeconds = 60;
constexpr DWORD kDecThreadStopWaitMs = 3000;
constexpr int kMaxPort = 65535;
// The SDK was cleaned up by a failed real play and must be set up again.
bool s_bSdkNeedsInit = false;
// Real play was started and not yet stopped.
bool s_bRealPlayActive = false;

// The ring must hold the whole delay, or the picture freezes and breaks: it
// takes the size the delay needs before the session's stream comes. Between
// sessions nothing stores or takes records, and the last stop emptied it. A
// ring that cannot be had stays as it was.
void FitRingToDelay(int delaySeconds) {
  const DWORD wanted = StreamRing::BytesForDelay(delaySeconds, g_settings.ringMB);
  CSLock lock(g_csStream);
  if (g_pStreamRing == nullptr || g_pStreamRing->GetSize() == wanted) {
    return;
  }
  StreamRing* ring = StreamRing::Create(wanted);
  if (ring == nullptr) {
    std::fprintf(stderr, "session: no memory for a stream ring of %u MiB, %u MiB kept\n",
                 static_cast<unsigned>(wanted / StreamRing::kBytesPerMiB),
                 static_cast<unsigned>(g_pStreamRing->GetSize() / StreamRing::kBytesPerMiB));
    return;
  }
  delete g_pStreamRing;
  g_pStreamRing = ring;
}

// Waits for the DecThread to end and frees its handle. It ends by itself within
// one 10 ms wait step of the cleared run flag (its feed never blocks); past the
// bound it is still joined, so nothing it uses is freed before it has ended.
void EndDecThread() {
  HANDLE thread = g_hDecThread.exchange(nullptr);
  if (thread == nullptr) {
    return;
  }
  WaitForSingleObject(thread, kDecThreadStopWaitMs);
  CloseHandle(thread);
}

}  // namespace

void InitDeviceSdk() {
  NET_DVR_Init();
  NET_DVR_SetConnectTime(kConnectWaitMs, kConnectTries);
  NET_DVR_SetReconnect(kReconnectIntervalMs, TRUE);
  if (!NET_DVR_SetRtspPath(g_settings.rtspPath.c_str())) {
    g_workLog.WriteLog("rtspPath refused, default path used:%s\n", g_settings.rtspPath.c_str());
  }
  s_bSdkNeedsInit = false;
}

void OnStartTeaching(SessionDialog& dialog) {
  // 1.
  const SessionValues values = dialog.ReadSessionValues();
  char ip[16];
  std::snprintf(ip, sizeof ip, "%d.%d.%d.%d", values.ip[0], values.ip[1], values.ip[2],
                values.ip[3]);
  // Converted as the configuration file is, so a long number saturates instead
  // of wrapping to an accepted one.
  const int port = DecimalToInt(values.port);
  char userName[kUserNameChars + 1] = {};
  std::strncpy(userName, values.userName.c_str(), kUserNameChars);
  char password[kPasswordChars + 1] = {};
  std::strncpy(password, values.password.c_str(), kPasswordChars);
  const int delaySeconds = DecimalToInt(values.delay);
  // 2.
  if (delaySeconds < kMinDelaySeconds || delaySeconds > kMaxDelaySeconds) {
    dialog.ShowMessage("延时范围需在1~60之间！");
    return;
  }
  // 3.
  g_nDelayMs = delaySeconds * 1000;
  FitRingToDelay(delaySeconds);
  g_history.SetCapacity(static_cast<size_t>(g_settings.historyMB) << 20);
  // 4. The password never reaches the log.
  g_workLog.WriteLog("IP is %s, nPort is %d, strUserName is %s, strPsd is %s, nDelaytime:%d \n", ip,
                     port, userName, kMaskedPassword, delaySeconds);
  if (s_bSdkNeedsInit) {
    InitDeviceSdk();
  }
  // 5. A port outside 1..65535 would be cut to some other port: pass 0, which
  // the device refuses, so the coach sees the login fail.
  const WORD devicePort = port >= 1 && port <= kMaxPort ? static_cast<WORD>(port) : 0;
  NET_DVR_DEVICEINFO_V30 deviceInfo{};
  g_lUserID = NET_DVR_Login_V30(ip, devicePort, userName, password, &deviceInfo);
  if (g_lUserID < 0) {
    g_workLog.WriteLog("Login error, %d\n", static_cast<int>(NET_DVR_GetLastError()));
    dialog.ShowMessage("登录失败！");
    return;
  }
  // 6.
  g_workLog.WriteLog("login suc,byDVRType:%d,byChanNum:%d,byStartChan:%d\n", deviceInfo.byDVRType,
                     deviceInfo.byChanNum, deviceInfo.byStartChan);
  // 7.
  NET_DVR_SetExceptionCallBack_V30(0, nullptr, DeviceExceptionProc, nullptr);
  // 8.
  g_hPlayWnd = dialog.GetDisplayWindow();
  // 9.
  NET_DVR_PREVIEWINFO request{};
  request.lChannel = kChannel;
  request.dwStreamType = static_cast<DWORD>(g_settings.dwStreamType);
  request.dwLinkMode = static_cast<DWORD>(g_settings.dwLinkMode);
  request.hPlayWnd = nullptr;
  // 10.
  InterlockedExchange(&g_bTread, 1);
  // 11.
  g_workLog.WriteLog("ch:%d,steamtype:%d,linkmode:%d\n", kChannel, g_settings.dwStreamType,
                     g_settings.dwLinkMode);
  // 12.
  g_lRealHandle = NET_DVR_RealPlay_V40(g_lUserID, &request, StreamDataProc, nullptr);
  if (g_lRealHandle < 0) {
    g_workLog.WriteLog("NET_DVR_RealPlay_V40 error:%d\n", static_cast<int>(NET_DVR_GetLastError()));
    NET_DVR_Logout(g_lUserID);
    NET_DVR_Cleanup();
    s_bSdkNeedsInit = true;
    dialog.ShowMessage("登录成功，播放失败！");
    return;
  }
  s_bRealPlayActive = true;
  // The device may have refused the link mode asked for; the stream then runs
  // on the other one, and the log says so.
  DWORD dwUsedLinkMode = request.dwLinkMode;
  if (NET_DVR_GetRealPlayLinkMode(g_lRealHandle, &dwUsedLinkMode) &&
      dwUsedLinkMode != request.dwLinkMode) {
    g_workLog.WriteLog("linkmode %d refused, linkmode %d used\n",
                       static_cast<int>(request.dwLinkMode), static_cast<int>(dwUsedLinkMode));
  }
  // 13.
  g_workLog.WriteLog("play suc\n");
  dialog.EnableStartButton(false);
  dialog.EnableCancelButton(true);
  dialog.ShowDisplayFullScreen();
}

void StopSession(SessionDialog& dialog) {
  // 1.
  InterlockedExchange(&g_bTread, 0);
  // 2.
  EndDecThread();
  // 3.
  g_workLog.WriteLog("stop DecThread\n");
  // 4. From here on no intake call runs. A header that came in during the
  // stop may have started one more DecThread: it sees the cleared flag and
  // ends at once; join it before its port is freed.
  NET_DVR_StopRealPlay(g_lRealHandle);
  s_bRealPlayActive = false;
  EndDecThread();
  // Nothing stores or takes records any more: what this session left in the
  // ring goes, or the next session would open with its last seconds.
  {
    CSLock lock(g_csStream);
    if (g_pStreamRing != nullptr) {
      g_pStreamRing->DiscardRecords();
    }
  }
  g_history.Clear();
  // 5.
  PlayM4_Stop(g_lPlayPort);
  PlayM4_CloseStream(g_lPlayPort);
  PlayM4_FreePort(g_lPlayPort);
  g_lPlayPort = -1;
  // No picture comes any more: the display lets go of the last one, so the
  // next session shows nothing of this one.
  dialog.DropDisplayPicture();
  // 6.
  g_workLog.WriteLog("stopplay suc\n");
  // 7.
  NET_DVR_Logout(g_lUserID);
  // 8.
  g_workLog.WriteLog("logout suc\n");
  // 9.
  dialog.EnableStartButton(true);
  dialog.EnableCancelButton(false);
}

void EndRunningSession(SessionDialog& dialog) {
  if (s_bRealPlayActive || g_hDecThread.load() != nullptr || g_lPlayPort != -1) {
    StopSession(dialog);
  }
}

void DeviceExceptionProc(DWORD type, LONG /*userId*/, LONG /*handle*/, void* /*user*/) {
  if (type == EXCEPTION_RECONNECT_SUCCEEDED) {
    g_workLog.WriteLog("----------reconnect--------%d\n",
                       static_cast<int32_t>(sys::WallClockNow()));
  }
}
