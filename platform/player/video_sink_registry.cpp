#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "platform/player/sink_access.h"
#include "platform/player/video_sink.h"

namespace player {
namespace {

struct Entry {
  VideoSink* sink = nullptr;
  int callsRunning = 0;  // guarded by g_mutex
};

std::mutex g_mutex;
std::condition_variable g_callEnded;                // signalled under g_mutex
std::map<HWND, std::shared_ptr<Entry>> g_sinks;     // guarded by g_mutex

}  // namespace

bool RegisterVideoSink(HWND window, VideoSink* sink) {
  if (window == nullptr || sink == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  auto entry = std::make_shared<Entry>();
  entry->sink = sink;
  return g_sinks.emplace(window, std::move(entry)).second;
}

void UnregisterVideoSink(HWND window) {
  std::unique_lock<std::mutex> lock(g_mutex);
  auto found = g_sinks.find(window);
  if (found == g_sinks.end()) {
    return;
  }
  // Out of the map first, so no new call can start; then wait for the running ones.
  std::shared_ptr<Entry> entry = std::move(found->second);
  g_sinks.erase(found);
  g_callEnded.wait(lock, [&entry] { return entry->callsRunning == 0; });
}

bool WithVideoSink(HWND window, const std::function<void(VideoSink&)>& use) {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_sinks.find(window);
    if (found == g_sinks.end()) {
      return false;
    }
    entry = found->second;
    ++entry->callsRunning;
  }
  // Ends the call even when use throws, so an unregister never waits for ever.
  struct CallEnd {
    Entry& entry;
    ~CallEnd() {
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        --entry.callsRunning;
      }
      g_callEnded.notify_all();
    }
  } callEnd{*entry};
  // The registry lock is not held here: sinks of other windows, and
  // registrations, go on while this sink paints.
  use(*entry->sink);
  return true;
}

}  // namespace player
