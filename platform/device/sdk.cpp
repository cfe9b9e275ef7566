// The NET_DVR_* calls: handles, state and the last error of each thread.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device/device.h"
#include "platform/device/log_mask.h"
#include "platform/device/real_play.h"
#include "platform/device/rtsp_auth.h"
#include "platform/device/rtsp_outcome.h"
#include "platform/device/rtsp_source.h"
#include "platform/device/rtsp_url.h"
#include "platform/device/settings.h"

namespace {

struct Login {
  std::string host;
  WORD port;
  std::string user;      // never logged
  std::string password;  // never logged
};

using PlayPtr = std::unique_ptr<device::RealPlay>;

struct Layer {
  std::mutex mutex;  // guards every field; never held while a stream opens or a play stops
  bool initialised = false;
  std::map<LONG, Login> logins;
  std::map<LONG, PlayPtr> plays;
  // Handles are never reused, so a stale handle cannot reach a newer login or play.
  LONG nextLogin = 0;
  LONG nextPlay = 0;
};

Layer& TheLayer() {
  static Layer layer;
  return layer;
}

thread_local DWORD t_lastError = NET_DVR_NOERROR;

BOOL Succeed() {
  t_lastError = NET_DVR_NOERROR;
  return TRUE;
}

BOOL Fail(DWORD error) {
  t_lastError = error;
  return FALSE;
}

LONG FailHandle(DWORD error) {
  t_lastError = error;
  return -1;
}

bool Initialised() {
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  return layer.initialised;
}

// The one place where a session's outcome becomes the SDK's error number.
DWORD ErrorOf(const device::Outcome& outcome) {
  using device::OutcomeKind;
  switch (outcome.kind) {
    case OutcomeKind::kAnswered:
      return NET_DVR_NOERROR;
    case OutcomeKind::kUnauthorised:
    case OutcomeKind::kStaleNonce:
      return NET_DVR_ERR_PASSWORD;
    case OutcomeKind::kNotFound:
      // 454 is the session, not the path: the stream answered but was lost.
      return outcome.status == 454 ? NET_DVR_ERR_STREAM : NET_DVR_ERR_NO_SUCH_STREAM;
    case OutcomeKind::kBusy:
    case OutcomeKind::kTimedOut:
    case OutcomeKind::kStopped:
      return NET_DVR_ERR_TIMEOUT;
    case OutcomeKind::kUnreachable:
    case OutcomeKind::kConnectionLost:
      return NET_DVR_ERR_CONNECT;
    case OutcomeKind::kNoResources:
      return NET_DVR_ERR_RESOURCE;
    case OutcomeKind::kTransportRefused:  // after the fallback: neither transport delivers
    case OutcomeKind::kRefused:
    case OutcomeKind::kMalformedReply:
    case OutcomeKind::kTooLarge:
    case OutcomeKind::kUnsupportedMedia:
      return NET_DVR_ERR_STREAM;
  }
  return NET_DVR_ERR_STREAM;
}

device::RtspTarget TargetFor(const Login& login, int channel, int streamType) {
  return {login.host, login.port, login.user, login.password,
          device::ExpandPath(device::CurrentPathTemplate(), channel, streamType)};
}

// The play of that handle, with layer.mutex held; plays.end() with the reason
// set as the last error when the layer is not initialised or has no such play.
std::map<LONG, PlayPtr>::iterator FindPlay(Layer& layer, LONG handle) {
  if (!layer.initialised) {
    Fail(NET_DVR_ERR_NOT_INITIALISED);
    return layer.plays.end();
  }
  const auto it = layer.plays.find(handle);
  if (it == layer.plays.end()) {
    Fail(NET_DVR_ERR_NO_SUCH_HANDLE);
  }
  return it;
}

// Stops plays outside the layer's lock: a stop waits for a callback in
// progress, and that callback may call into the layer.
void StopAll(std::vector<PlayPtr> plays) {
  for (PlayPtr& play : plays) {
    play->Stop();
  }
}

}  // namespace

BOOL NET_DVR_Init() {
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  if (!layer.initialised) {
    device::InstallLogMask();
    device::ResetSettings();
    layer.initialised = true;
  }
  return Succeed();
}

BOOL NET_DVR_Cleanup() {
  if (device::RealPlay::OnReceiveThread()) {
    return Fail(NET_DVR_ERR_WRONG_THREAD);
  }
  std::vector<PlayPtr> plays;
  {
    Layer& layer = TheLayer();
    std::lock_guard<std::mutex> lock(layer.mutex);
    if (!layer.initialised) {
      return Fail(NET_DVR_ERR_NOT_INITIALISED);
    }
    layer.initialised = false;
    for (auto& [handle, play] : layer.plays) {
      plays.push_back(std::move(play));
    }
    layer.plays.clear();
    layer.logins.clear();
  }
  StopAll(std::move(plays));
  return Succeed();
}

BOOL NET_DVR_SetConnectTime(DWORD waitMs, DWORD tryTimes) {
  if (!Initialised()) {
    return Fail(NET_DVR_ERR_NOT_INITIALISED);
  }
  // Up to 10 minutes and 100 attempts: beyond that a call would look hung.
  if (waitMs == 0 || waitMs > 600000 || tryTimes == 0 || tryTimes > 100) {
    return Fail(NET_DVR_ERR_PARAMETER);
  }
  device::SetConnectTime({static_cast<int>(waitMs), static_cast<int>(tryTimes)});
  return Succeed();
}

BOOL NET_DVR_SetReconnect(DWORD intervalMs, BOOL enable) {
  if (!Initialised()) {
    return Fail(NET_DVR_ERR_NOT_INITIALISED);
  }
  if (intervalMs > 3600000) {  // an hour: beyond that reconnection is as good as off
    return Fail(NET_DVR_ERR_PARAMETER);
  }
  device::SetReconnect({static_cast<int>(intervalMs), enable != FALSE});
  return Succeed();
}

DWORD NET_DVR_GetLastError() { return t_lastError; }

BOOL NET_DVR_SetRtspPath(const char* pathTemplate) {
  const std::string text = pathTemplate != nullptr ? pathTemplate : "";
  if (!device::IsValidPathTemplate(text)) {
    return Fail(NET_DVR_ERR_PARAMETER);
  }
  device::SetPathTemplate(text);
  return Succeed();
}

LONG NET_DVR_Login_V30(const char* ip, WORD port, const char* user, const char* password,
                       NET_DVR_DEVICEINFO_V30* deviceInfo) {
  if (!Initialised()) {
    return FailHandle(NET_DVR_ERR_NOT_INITIALISED);
  }
  if (ip == nullptr || !device::IsValidHost(ip) || port == 0 || deviceInfo == nullptr) {
    return FailHandle(NET_DVR_ERR_PARAMETER);
  }
  // Basic authentication joins user and password with ':', so such a user
  // name would reach the device cut short; control characters cannot travel
  // in a header at all.
  if (user != nullptr &&
      (std::strchr(user, ':') != nullptr || !device::RtspAuth::IsUsableUser(user))) {
    return FailHandle(NET_DVR_ERR_PARAMETER);
  }
  Login login{ip, port, user != nullptr ? user : "", password != nullptr ? password : ""};

  // The device answers, accepts the credentials and describes an H.264 or
  // H.265 stream at channel 1's main path; nothing is set up, so the login
  // does not depend on the transports the device offers.
  const device::ConnectTime connect = device::CurrentConnectTime();
  device::RtspSource probe(nullptr);
  const device::Outcome outcome =
      probe.Open({TargetFor(login, 1, 0), false, connect.waitMs, connect.tries}, true);
  probe.Close();
  if (!outcome.Ok()) {
    return FailHandle(ErrorOf(outcome));
  }

  LONG handle = -1;
  {
    Layer& layer = TheLayer();
    std::lock_guard<std::mutex> lock(layer.mutex);
    if (!layer.initialised) {  // cleaned up while the device was asked
      return FailHandle(NET_DVR_ERR_NOT_INITIALISED);
    }
    handle = layer.nextLogin++;
    layer.logins.emplace(handle, std::move(login));
  }
  *deviceInfo = NET_DVR_DEVICEINFO_V30{};
  deviceInfo->byDVRType = NET_DVR_DEVTYPE_RTSP_CAMERA;
  deviceInfo->byChanNum = 1;
  deviceInfo->byStartChan = 1;
  Succeed();
  return handle;
}

BOOL NET_DVR_Logout(LONG userId) {
  if (device::RealPlay::OnReceiveThread()) {
    return Fail(NET_DVR_ERR_WRONG_THREAD);
  }
  std::vector<PlayPtr> plays;
  {
    Layer& layer = TheLayer();
    std::lock_guard<std::mutex> lock(layer.mutex);
    if (!layer.initialised) {
      return Fail(NET_DVR_ERR_NOT_INITIALISED);
    }
    if (layer.logins.erase(userId) == 0) {
      return Fail(NET_DVR_ERR_NO_SUCH_HANDLE);
    }
    for (auto it = layer.plays.begin(); it != layer.plays.end();) {
      if (it->second->UserId() == userId) {
        plays.push_back(std::move(it->second));
        it = layer.plays.erase(it);
      } else {
        ++it;
      }
    }
  }
  StopAll(std::move(plays));
  return Succeed();
}

BOOL NET_DVR_SetExceptionCallBack_V30(UINT, HWND, EXCEPTIONCALLBACK callback, void* user) {
  if (!Initialised()) {
    return Fail(NET_DVR_ERR_NOT_INITIALISED);
  }
  device::SetExceptionCallback(callback, user);
  return Succeed();
}

LONG NET_DVR_RealPlay_V40(LONG userId, NET_DVR_PREVIEWINFO* request, REALDATACALLBACK callback,
                          void* user) {
  if (request == nullptr || callback == nullptr || request->lChannel < 1 ||
      request->dwStreamType > 1 || request->dwLinkMode > 1) {
    return FailHandle(Initialised() ? NET_DVR_ERR_PARAMETER : NET_DVR_ERR_NOT_INITIALISED);
  }
  Layer& layer = TheLayer();
  device::PlayTarget target{};
  {
    std::lock_guard<std::mutex> lock(layer.mutex);
    if (!layer.initialised) {
      return FailHandle(NET_DVR_ERR_NOT_INITIALISED);
    }
    const auto login = layer.logins.find(userId);
    if (login == layer.logins.end()) {
      return FailHandle(NET_DVR_ERR_NO_SUCH_HANDLE);
    }
    target = device::PlayTarget{
        layer.nextPlay++,
        userId,
        TargetFor(login->second, request->lChannel, static_cast<int>(request->dwStreamType)),
        request->dwLinkMode == 1,
        callback,
        user};
  }
  const LONG handle = target.handle;
  auto play = std::make_unique<device::RealPlay>(std::move(target));
  const device::Outcome outcome = play->Open();
  if (!outcome.Ok()) {
    return FailHandle(ErrorOf(outcome));
  }
  {
    std::lock_guard<std::mutex> lock(layer.mutex);
    // The login may have ended, or the layer been cleaned up, while opening.
    if (!layer.initialised) {
      return FailHandle(NET_DVR_ERR_NOT_INITIALISED);
    }
    if (layer.logins.count(userId) == 0) {
      return FailHandle(NET_DVR_ERR_NO_SUCH_HANDLE);
    }
    if (!play->Start()) {
      return FailHandle(NET_DVR_ERR_RESOURCE);
    }
    layer.plays.emplace(handle, std::move(play));
  }
  Succeed();
  return handle;
}

BOOL NET_DVR_StopRealPlay(LONG realHandle) {
  if (device::RealPlay::OnReceiveThread()) {
    return Fail(NET_DVR_ERR_WRONG_THREAD);
  }
  PlayPtr play;
  {
    Layer& layer = TheLayer();
    std::lock_guard<std::mutex> lock(layer.mutex);
    const auto it = FindPlay(layer, realHandle);
    if (it == layer.plays.end()) {
      return FALSE;
    }
    play = std::move(it->second);
    layer.plays.erase(it);
  }
  play->Stop();
  return Succeed();
}

BOOL NET_DVR_GetRealPlayLinkMode(LONG realHandle, DWORD* linkMode) {
  if (linkMode == nullptr) {
    return Fail(NET_DVR_ERR_PARAMETER);
  }
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  const auto it = FindPlay(layer, realHandle);
  if (it == layer.plays.end()) {
    return FALSE;
  }
  *linkMode = it->second->LinkMode();
  return Succeed();
}
