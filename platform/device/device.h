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

// Error numbers of NET_DVR_GetLastError: the reason the last failed call made
// on the calling thread failed (0 after a call that succeeded).
constexpr DWORD NET_DVR_NOERROR = 0;
constexpr DWORD NET_DVR_ERR_NOT_INITIALISED = 1;   // no NET_DVR_Init, or after NET_DVR_Cleanup
constexpr DWORD NET_DVR_ERR_PARAMETER = 2;         // null pointer or value out of range
constexpr DWORD NET_DVR_ERR_NO_SUCH_HANDLE = 3;    // unknown (or already closed) login or play
constexpr DWORD NET_DVR_ERR_CONNECT = 4;           // nothing answers at ip:port (refused,
                                                   // unreachable)
constexpr DWORD NET_DVR_ERR_TIMEOUT = 5;           // connected, but no answer within the
                                                   // connect time
constexpr DWORD NET_DVR_ERR_PASSWORD = 6;          // wrong user name or password
constexpr DWORD NET_DVR_ERR_NO_SUCH_STREAM = 7;    // the device has no such channel or stream
constexpr DWORD NET_DVR_ERR_STREAM = 8;            // the stream answered but cannot be received
                                                   // (no H.264/H.265 video, neither transport
                                                   // delivers, a reply over 1 MiB, bad data)
constexpr DWORD NET_DVR_ERR_RESOURCE = 9;          // out of memory or threads
constexpr DWORD NET_DVR_ERR_WRONG_THREAD = 10;     // a stop, logout or clean-up called from
                                                   // inside one of this layer's callbacks

// Device type reported at offset 51 of the device information block: a
// camera reached through RTSP. The block also reports 1 channel starting at 1,
// the one channel the login has seen answer.
constexpr BYTE NET_DVR_DEVTYPE_RTSP_CAMERA = 200;

using REALDATACALLBACK = void (*)(LONG realHandle, DWORD dataType, BYTE* buffer, DWORD size,
                                  void* user);
using EXCEPTIONCALLBACK = void (*)(DWORD type, LONG userId, LONG handle, void* user);

// Init: starts the layer with its defaults (connect time 3000 ms and 1 attempt,
// reconnection every 5000 ms enabled, no exception callback); a second Init
// while started changes nothing. Cleanup stops every real play and login; every
// call but Init, GetLastError and SetRtspPath then fails with
// NET_DVR_ERR_NOT_INITIALISED until the next Init. Init also routes
// FFmpeg's log (the muxer's) through a filter that masks credentials in URLs.
BOOL NET_DVR_Init();
BOOL NET_DVR_Cleanup();
// waitMs bounds each connection attempt of a login or real play (connect and
// the device's answers); tryTimes attempts are made when nothing answers.
BOOL NET_DVR_SetConnectTime(DWORD waitMs, DWORD tryTimes);
// When a stream breaks, its receive thread retries every intervalMs (at least
// 100 ms) while enabled, and calls the exception callback with
// EXCEPTION_RECONNECT_SUCCEEDED after each reconnection. Disabled: the receive
// thread ends when its stream breaks; StopRealPlay still releases the handle.
BOOL NET_DVR_SetReconnect(DWORD intervalMs, BOOL enable);
DWORD NET_DVR_GetLastError();

// Checks within the connect time that an RTSP device answers at ip:port,
// accepts the credentials (Digest, Basic or none) and describes an H.264 or
// H.265 stream at channel 1's main path. Nothing is set up, and the device
// keeps no connection open for the login. A password may hold any byte; a
// user name may not hold ':' or control characters (NET_DVR_ERR_PARAMETER).
LONG NET_DVR_Login_V30(const char* ip, WORD port, const char* user, const char* password,
                       NET_DVR_DEVICEINFO_V30* deviceInfo);
// Stops the login's real plays first.
BOOL NET_DVR_Logout(LONG userId);

// The callback runs on a receive thread with (type, login handle, real-play
// handle, user); message and window are not used.
BOOL NET_DVR_SetExceptionCallBack_V30(UINT message, HWND window, EXCEPTIONCALLBACK callback,
                                      void* user);

// Opens the stream within the connect time. The callback then runs on the
// play's own receive thread: one NET_DVR_SYSHEAD, then NET_DVR_STREAMDATA,
// always whole 188-byte TS packets. After a reconnection only
// NET_DVR_STREAMDATA follows: the stream continues under the same header.
LONG NET_DVR_RealPlay_V40(LONG userId, NET_DVR_PREVIEWINFO* request, REALDATACALLBACK callback,
                          void* user);
// Once it has returned, no callback of the play runs or will run.
BOOL NET_DVR_StopRealPlay(LONG realHandle);
// The link mode a real play runs on (0 TCP, 1 UDP): the one asked for, or the
// other one when the device refused it (SETUP answered 400, 406, 451, 461, 501
// or 505; not 401, 403 or 404, which fail the play) or sent nothing over UDP
// within the read deadline. Reconnections keep the mode that worked.
BOOL NET_DVR_GetRealPlayLinkMode(LONG realHandle, DWORD* linkMode);

// The RTSP path of a channel and stream type, as a template with the
// placeholders {ch} (channel number), {stream} (main or sub) and {streamno}
// (1 main, 2 sub); default "/ch{ch}/{stream}". Null or empty restores the
// default. Refuses (NET_DVR_ERR_PARAMETER) a template with spaces or control
// characters. Kept across Cleanup and Init; applies to later logins and plays.
BOOL NET_DVR_SetRtspPath(const char* pathTemplate);
