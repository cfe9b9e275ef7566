// A recording stand-in for the device SDK: every NET_DVR_* call is recorded
// (name and its arguments as text) and answers with results the test sets.
// The data and exception callbacks handed in are kept so the test can play
// the device's part.
#pragma once

#include <string>
#include <vector>

#include "platform/device/device.h"

namespace fakedevice {

struct Call {
  std::string name;  // e.g. "NET_DVR_Login_V30"
  std::string args;  // arguments as "a,b,c" (texts as they were passed)
};

// Forgets calls and settings: login handle 0, real-play handle 0, error 0.
void Reset();
void SetLoginResult(LONG handle);      // negative: the login fails
void SetRealPlayResult(LONG handle);   // negative: real play fails
// The link mode the real play reports it runs on; -1 (the default): as asked.
void SetUsedLinkMode(LONG linkMode);
void SetLastError(DWORD error);
// What a successful login writes into the device information block.
void SetDeviceInfo(BYTE type, BYTE channels, BYTE firstChannel);

std::vector<Call> Calls();
std::vector<std::string> CallNames();
// The request block of the last real play.
NET_DVR_PREVIEWINFO LastRequest();
// Calls the data callback of the last real play, as the device's thread would.
void Deliver(DWORD dataType, std::vector<BYTE> bytes);
// Calls the exception callback last registered.
void RaiseException(DWORD type);

}  // namespace fakedevice
