// A replay: a run of the stream history played on a player port of its own,
// drawing into a window of its own, while the live port goes on. The
// "ReplayThread" feeds the records at the pace they were first fed, slowed to
// the replay's speed (the port presents at that speed too), or all at once
// for a single picture step. The live session's ring, DecThread and port are
// never touched.
#pragma once

#include <atomic>
#include <functional>

#include "platform/sys/types.h"
#include "session/StreamHistory.h"

class ReplayPlayer {
 public:
  // The replay port's input buffer: a whole record of the largest size
  // (4 MiB) with room for the next; a paced feed keeps it nearly empty.
  static constexpr DWORD kInputBytes = 8u << 20;
  // After the last record, the time its pictures take to be decoded and
  // presented (ms, before the speed): the presenter's 40 ms margin and 80 ms
  // hold bound, and a picture's decode.
  static constexpr DWORD kTailMs = 200;
  // Step of the feed's waits (ms): the DecThread's step.
  static constexpr DWORD kWaitStepMs = 10;

  ReplayPlayer() = default;
  ~ReplayPlayer();  // stops
  ReplayPlayer(const ReplayPlayer&) = delete;
  ReplayPlayer& operator=(const ReplayPlayer&) = delete;

  // Plays span on window at speed (0 feeds everything at once, presented as
  // fast as the player may); onEnd runs on the ReplayThread once the last
  // picture has had its time, unless stopped first. False, holding nothing,
  // when the span is empty or a port cannot be opened. Stops a replay
  // already running first.
  bool Start(HistorySpan span, HWND window, double speed, std::function<void()> onEnd);
  // Ends the feed and gives the port back (waits for the ReplayThread).
  void Stop();
  bool IsRunning() const { return m_hThread != nullptr; }

 private:
  static DWORD Main(void* self);
  void Feed();
  // Sleeps in steps until tick `due`; false when stopped meanwhile.
  bool WaitUntil(DWORD due);

  HistorySpan m_span;              // what the ReplayThread feeds
  double m_dSpeed = 1;            // 0: at once
  std::function<void()> m_onEnd;  // on the ReplayThread
  LONG m_lPort = -1;              // the replay's own port
  std::atomic<bool> m_bStop{false};
  HANDLE m_hThread = nullptr;     // the ReplayThread; set and cleared by the owner's thread
};
