#include "tests/doubles/FakePlayer.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "platform/player/player.h"
#include "platform/player/presentation_speed.h"
#include "platform/sys/clock.h"

namespace fakeplayer {
namespace {

struct State {
  std::mutex mutex;
  std::vector<Call> calls;
  std::map<std::string, BOOL> results;
  std::map<std::string, std::deque<BOOL>> queued;
  LONG port = 0;
  LONG width = 0;
  LONG height = 0;
  std::vector<BYTE> jpeg;
  bool keepData = true;
};

State& TheState() {
  static State state;
  return state;
}

// Records the call and returns the result the test chose for it; the state's
// lock is held by the caller.
BOOL Record(State& s, const char* name, LONG port, std::vector<int64_t> args,
            const BYTE* data = nullptr, DWORD size = 0) {
  Call call{name, port, std::move(args), {}, GetTickCount()};
  if (s.keepData && data != nullptr) {
    call.data.assign(data, data + size);
  }
  s.calls.push_back(std::move(call));
  auto& queue = s.queued[name];
  if (!queue.empty()) {
    const BOOL result = queue.front();
    queue.pop_front();
    return result;
  }
  const auto it = s.results.find(name);
  return it == s.results.end() ? 1 : it->second;
}

}  // namespace

void Reset() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
  s.results.clear();
  s.queued.clear();
  s.port = 0;
  s.width = 0;
  s.height = 0;
  s.jpeg.clear();
  s.keepData = true;
}

void SetResult(const std::string& name, BOOL result) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.results[name] = result;
}

void QueueResults(const std::string& name, const std::vector<BOOL>& results) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.queued[name].insert(s.queued[name].end(), results.begin(), results.end());
}

void SetPort(LONG port) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.port = port;
}

void SetPicture(LONG width, LONG height, std::vector<BYTE> jpeg) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.width = width;
  s.height = height;
  s.jpeg = std::move(jpeg);
}

void SetKeepData(bool keep) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.keepData = keep;
}

std::vector<Call> Calls() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

std::vector<Call> Calls(const std::string& name) {
  std::vector<Call> matching;
  for (Call& call : Calls()) {
    if (call.name == name) {
      matching.push_back(std::move(call));
    }
  }
  return matching;
}

size_t CallCount(const std::string& name) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  size_t count = 0;
  for (const Call& call : s.calls) {
    count += call.name == name ? 1 : 0;
  }
  return count;
}

}  // namespace fakeplayer

using fakeplayer::Record;
using fakeplayer::TheState;

BOOL PlayM4_GetPort(LONG* port) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  const BOOL result = Record(s, "PlayM4_GetPort", s.port, {});
  if (result && port != nullptr) {
    *port = s.port;
  }
  return result;
}

BOOL PlayM4_SetStreamOpenMode(LONG port, DWORD mode) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_SetStreamOpenMode", port, {mode});
}

BOOL PlayM4_OpenStream(LONG port, const BYTE* header, DWORD headerSize, DWORD bufferSize) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_OpenStream", port, {headerSize, bufferSize}, header, headerSize);
}

BOOL PlayM4_Play(LONG port, HWND window) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_Play", port, {static_cast<int64_t>(reinterpret_cast<intptr_t>(window))});
}

BOOL PlayM4_InputData(LONG port, const BYTE* data, DWORD size) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_InputData", port, {size}, data, size);
}

BOOL PlayM4_Stop(LONG port) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_Stop", port, {});
}

BOOL PlayM4_CloseStream(LONG port) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_CloseStream", port, {});
}

BOOL PlayM4_FreePort(LONG port) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Record(s, "PlayM4_FreePort", port, {});
}

BOOL PlayM4_GetPictureSize(LONG port, LONG* width, LONG* height) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  const BOOL result = Record(s, "PlayM4_GetPictureSize", port, {});
  if (result) {
    *width = s.width;
    *height = s.height;
  }
  return result;
}

// Like the real library: a buffer too small for the picture fails and nothing
// is written past it.
BOOL PlayM4_GetJPEG(LONG port, BYTE* buffer, DWORD bufferSize, DWORD* jpegSize) {
  auto& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  const BOOL result = Record(s, "PlayM4_GetJPEG", port, {bufferSize});
  if (!result || s.jpeg.empty() || s.jpeg.size() > bufferSize) {
    return 0;
  }
  std::memcpy(buffer, s.jpeg.data(), s.jpeg.size());
  *jpegSize = static_cast<DWORD>(s.jpeg.size());
  return result;
}

// Recorded with the speed in thousandths.
bool player::SetPresentationSpeed(LONG port, double speed) {
  auto& s = fakeplayer::TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return fakeplayer::Record(s, "SetPresentationSpeed", port,
                            {static_cast<int64_t>(speed * 1000 + 0.5)}) != 0;
}
