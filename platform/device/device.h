// The device SDK: login to a network camera, real play of one of its streams
// as MPEG-TS through a data callback, reconnection notices.
// Results: BOOL non-zero success; handles >= 0, negative for failure with the
// reason in NET_DVR_GetLastError().
#pragma once

#include <cstddef>

#include "platform/sys/types.h"

// Device information block filled by the login: 80 bytes; the program reads the
// device type, channel count and first channel at offsets 51, 52 and 53.
struct NET_DVR_DEVICEINFO_V30 {
  BYTE sSerialNumber[48];
  BYTE byReserved1[3];
  BYTE byDVRType;
  BYTE byChanNum;
  BYTE byStartChan;
  BYTE byReserved2[26];
};
static_assert(sizeof(NET_DVR_DEVICEINFO_V30) == 80);
static_assert(offsetof(NET_DVR_DEVICEINFO_V30, byDVRType) == 51);
static_assert(offsetof(NET_DVR_DEVICEINFO_V30, byStartChan) == 53);

// Real-play request block: 280 bytes, all zero but channel, stream type
// (0 main, 1 sub), link mode (0 TCP, 1 UDP) and a window handle (null: the
// SDK draws nothing itself).
#pragma pack(push, 4)
struct NET_DVR_PREVIEWINFO {
  LONG lChannel;
  DWORD dwStreamType;
  DWORD dwLinkMode;
  HWND hPlayWnd;
  BYTE byReserved[260];
};
#pragma pack(pop)
static_assert(sizeof(NET_DVR_PREVIEWINFO) == 280);
static_assert(offsetof(NET_DVR_PREVIEWINFO, hPlayWnd) == 12);

// Data callback types.
constexpr DWORD NET_DVR_SYSHEAD = 1;     // stream header: whole TS packets with PAT and PMT
constexpr DWORD NET_DVR_STREAMDATA = 2;  // stream data: whole TS packets

// Exception type passed to the exception callback after a reconnection.
constexpr DWORD EXCEPTION_RECONNECT_SUCCEEDED = 0x8005;

using REALDATACALLBACK = void (*)(LONG realHandle, DWORD dataType, BYTE* buffer, DWORD size,
                                  void* user);
using EXCEPTIONCALLBACK = void (*)(DWORD type, LONG userId, LONG handle, void* user);

BOOL NET_DVR_Init();
BOOL NET_DVR_Cleanup();
BOOL NET_DVR_SetConnectTime(DWORD waitMs, DWORD tryTimes);
BOOL NET_DVR_SetReconnect(DWORD intervalMs, BOOL enable);
DWORD NET_DVR_GetLastError();

LONG NET_DVR_Login_V30(const char* ip, WORD port, const char* user, const char* password,
                       NET_DVR_DEVICEINFO_V30* deviceInfo);
BOOL NET_DVR_Logout(LONG userId);

BOOL NET_DVR_SetExceptionCallBack_V30(UINT message, HWND window, EXCEPTIONCALLBACK callback,
                                      void* user);

LONG NET_DVR_RealPlay_V40(LONG userId, NET_DVR_PREVIEWINFO* request, REALDATACALLBACK callback,
                          void* user);
BOOL NET_DVR_StopRealPlay(LONG realHandle);
