#include "tests/doubles/FakeDevice.h"

#include <mutex>

namespace fakedevice {
namespace {

struct State {
  std::mutex mutex;
  std::vector<Call> calls;
  LONG loginResult = 0;
  LONG realPlayResult = 0;
  LONG usedLinkMode = -1;
  DWORD lastError = 0;
  NET_DVR_DEVICEINFO_V30 info{};
  NET_DVR_PREVIEWINFO request{};
  REALDATACALLBACK dataCallback = nullptr;
  EXCEPTIONCALLBACK exceptionCallback = nullptr;
};

State& TheState() {
  static State state;
  return state;
}

void Record(const char* name, std::string args = "") {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.push_back({name, std::move(args)});
}

}  // namespace

void Reset() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
  s.loginResult = 0;
  s.realPlayResult = 0;
  s.usedLinkMode = -1;
  s.lastError = 0;
  s.info = NET_DVR_DEVICEINFO_V30{};
  s.request = NET_DVR_PREVIEWINFO{};
  s.dataCallback = nullptr;
  s.exceptionCallback = nullptr;
}

void SetLoginResult(LONG handle) { TheState().loginResult = handle; }
void SetRealPlayResult(LONG handle) { TheState().realPlayResult = handle; }
void SetUsedLinkMode(LONG linkMode) { TheState().usedLinkMode = linkMode; }
void SetLastError(DWORD error) { TheState().lastError = error; }

void SetDeviceInfo(BYTE type, BYTE channels, BYTE firstChannel) {
  State& s = TheState();
  s.info.byDVRType = type;
  s.info.byChanNum = channels;
  s.info.byStartChan = firstChannel;
}

std::vector<Call> Calls() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const Call& call : Calls()) {
    names.push_back(call.name);
  }
  return names;
}

NET_DVR_PREVIEWINFO LastRequest() { return TheState().request; }

void Deliver(DWORD dataType, std::vector<BYTE> bytes) {
  TheState().dataCallback(TheState().realPlayResult, dataType, bytes.data(),
                          static_cast<DWORD>(bytes.size()), nullptr);
}

void RaiseException(DWORD type) { TheState().exceptionCallback(type, 0, 0, nullptr); }

}  // namespace fakedevice

using fakedevice::Record;
using fakedevice::TheState;

BOOL NET_DVR_Init() {
  Record("NET_DVR_Init");
  return TRUE;
}

BOOL NET_DVR_Cleanup() {
  Record("NET_DVR_Cleanup");
  return TRUE;
}

BOOL NET_DVR_SetConnectTime(DWORD waitMs, DWORD tryTimes) {
  Record("NET_DVR_SetConnectTime", std::to_string(waitMs) + "," + std::to_string(tryTimes));
  return TRUE;
}

BOOL NET_DVR_SetReconnect(DWORD intervalMs, BOOL enable) {
  Record("NET_DVR_SetReconnect", std::to_string(intervalMs) + "," + std::to_string(enable));
  return TRUE;
}

BOOL NET_DVR_SetRtspPath(const char* pathTemplate) {
  Record("NET_DVR_SetRtspPath", pathTemplate != nullptr ? pathTemplate : "(null)");
  return TRUE;
}

DWORD NET_DVR_GetLastError() { return TheState().lastError; }

LONG NET_DVR_Login_V30(const char* ip, WORD port, const char* user, const char* password,
                       NET_DVR_DEVICEINFO_V30* deviceInfo) {
  Record("NET_DVR_Login_V30",
         std::string(ip) + "," + std::to_string(port) + "," + user + "," + password);
  if (TheState().loginResult >= 0) {
    *deviceInfo = TheState().info;
  }
  return TheState().loginResult;
}

BOOL NET_DVR_Logout(LONG userId) {
  Record("NET_DVR_Logout", std::to_string(userId));
  return TRUE;
}

BOOL NET_DVR_SetExceptionCallBack_V30(UINT message, HWND window, EXCEPTIONCALLBACK callback,
                                      void* user) {
  Record("NET_DVR_SetExceptionCallBack_V30", std::to_string(message) + "," +
                                                 (window == nullptr ? "null" : "window") + "," +
                                                 (user == nullptr ? "null" : "user"));
  TheState().exceptionCallback = callback;
  return TRUE;
}

LONG NET_DVR_RealPlay_V40(LONG userId, NET_DVR_PREVIEWINFO* request, REALDATACALLBACK callback,
                          void* user) {
  Record("NET_DVR_RealPlay_V40",
         std::to_string(userId) + "," + (user == nullptr ? "null" : "user"));
  TheState().request = *request;
  TheState().dataCallback = callback;
  return TheState().realPlayResult;
}

BOOL NET_DVR_GetRealPlayLinkMode(LONG realHandle, DWORD* linkMode) {
  Record("NET_DVR_GetRealPlayLinkMode", std::to_string(realHandle));
  const LONG used = TheState().usedLinkMode;
  *linkMode = used >= 0 ? static_cast<DWORD>(used) : TheState().request.dwLinkMode;
  return TRUE;
}

BOOL NET_DVR_StopRealPlay(LONG realHandle) {
  Record("NET_DVR_StopRealPlay", std::to_string(realHandle));
  return TRUE;
}
