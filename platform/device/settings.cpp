#include "platform/device/settings.h"

#include <mutex>

#include "platform/device/rtsp_url.h"

namespace device {
namespace {

// 3 s lets a camera on a busy network answer; 1 attempt keeps a failed login
// short. A 5 s reconnect interval does not hammer a camera that is rebooting.
constexpr ConnectTime kDefaultConnectTime{3000, 1};
constexpr ReconnectPolicy kDefaultReconnect{5000, true};

struct Settings {
  std::mutex mutex;  // guards every field
  ConnectTime connectTime = kDefaultConnectTime;
  ReconnectPolicy reconnect = kDefaultReconnect;
  EXCEPTIONCALLBACK exceptionCallback = nullptr;
  void* exceptionUser = nullptr;
  std::string pathTemplate{kDefaultPathTemplate};
};

Settings& TheSettings() {
  static Settings settings;
  return settings;
}

}  // namespace

void ResetSettings() {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.connectTime = kDefaultConnectTime;
  s.reconnect = kDefaultReconnect;
  s.exceptionCallback = nullptr;
  s.exceptionUser = nullptr;
}

ConnectTime CurrentConnectTime() {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.connectTime;
}

void SetConnectTime(ConnectTime value) {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.connectTime = value;
}

ReconnectPolicy CurrentReconnect() {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.reconnect;
}

void SetReconnect(ReconnectPolicy value) {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.reconnect = value;
}

void SetExceptionCallback(EXCEPTIONCALLBACK callback, void* user) {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.exceptionCallback = callback;
  s.exceptionUser = user;
}

void NotifyException(DWORD type, LONG userId, LONG handle) {
  EXCEPTIONCALLBACK callback = nullptr;
  void* user = nullptr;
  {
    Settings& s = TheSettings();
    std::lock_guard<std::mutex> lock(s.mutex);
    callback = s.exceptionCallback;
    user = s.exceptionUser;
  }
  // Called without the lock, so that the callback may call into the layer.
  if (callback != nullptr) {
    callback(type, userId, handle, user);
  }
}

std::string CurrentPathTemplate() {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.pathTemplate;
}

void SetPathTemplate(std::string pathTemplate) {
  Settings& s = TheSettings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.pathTemplate =
      pathTemplate.empty() ? std::string(kDefaultPathTemplate) : std::move(pathTemplate);
}

}  // namespace device
