// Layer-wide settings that the SDK calls change and the receive threads read:
// connect time, reconnection, the exception callback and the RTSP path
// template. Each read returns a consistent copy; safe from any thread.
#pragma once

#include <string>

#include "platform/device/device.h"

namespace device {

struct ConnectTime {
  int waitMs;  // bound of one connection attempt
  int tries;   // attempts while nothing answers
};

struct ReconnectPolicy {
  int intervalMs;  // wait before each new attempt
  bool enabled;
};

// The defaults of a fresh NET_DVR_Init; the path template is not touched.
void ResetSettings();

ConnectTime CurrentConnectTime();
void SetConnectTime(ConnectTime value);

ReconnectPolicy CurrentReconnect();
void SetReconnect(ReconnectPolicy value);

void SetExceptionCallback(EXCEPTIONCALLBACK callback, void* user);
// Calls the registered exception callback, if any, on the calling thread.
void NotifyException(DWORD type, LONG userId, LONG handle);

std::string CurrentPathTemplate();
void SetPathTemplate(std::string pathTemplate);

}  // namespace device
