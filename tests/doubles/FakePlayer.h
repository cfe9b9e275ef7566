// A recording stand-in for the playback library: every PlayM4_* call is
// recorded (name, port, scalar arguments, a copy of the stream bytes, and the
// GetTickCount() value at the call) and answers with results the test sets.
// Thread-safe: the intake, the DecThread and the GUI thread may call it at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sys/types.h"

namespace fakeplayer {

struct Call {
  std::string name;           // e.g. "PlayM4_InputData"
  LONG port;                  // port passed in (GetPort: the port handed out)
  std::vector<int64_t> args;  // the scalar arguments after the port, in order
  std::vector<BYTE> data;     // copy of the bytes of InputData and OpenStream
  DWORD tick;                 // GetTickCount() when the call arrived
};

// Forgets every call and setting: all results 1, port 0, no picture, data kept.
void Reset();

// Result of every later call of `name` (default 1).
void SetResult(const std::string& name, BOOL result);
// Results for the next calls of `name`, one per call, before SetResult's.
void QueueResults(const std::string& name, const std::vector<BOOL>& results);
// Port number GetPort hands out.
void SetPort(LONG port);
// What GetPictureSize and GetJPEG return on success.
void SetPicture(LONG width, LONG height, std::vector<BYTE> jpeg);
// Whether InputData and OpenStream keep a copy of their bytes (benchmarks
// feeding gigabytes turn it off).
void SetKeepData(bool keep);

std::vector<Call> Calls();
std::vector<Call> Calls(const std::string& name);
size_t CallCount(const std::string& name);

}  // namespace fakeplayer
