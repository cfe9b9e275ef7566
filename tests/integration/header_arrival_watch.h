// Brackets the tick at which the stream header was stored in the ring, as
// seen from outside the intake.
//
// The intake publishes the DecThread's handle (g_hDecThread) and only then
// reads the tick for the header record and writes the record. So:
//  - a tick read *before* a look that still finds no handle is no later than
//    the header's tick (earliest);
//  - a tick read *after* a look that finds the ring's write position moved is
//    no earlier than the header's tick (latest).
// The header is the first record a session stores (data before it is
// dropped), so the first move of the write position is the header.
// A busy machine only widens the bracket; it never puts the header outside.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sys/clock.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"

namespace integration {

struct TickBracket {
  DWORD earliest = 0;  // ms tick, <= the header record's tick
  DWORD latest = 0;    // ms tick, >= the header record's tick
  bool complete = false;
};

class HeaderArrivalWatch {
 public:
  // Start it before the session starts: the header may come while real play
  // is still being requested.
  HeaderArrivalWatch()
      : m_startWritePos(g_pStreamRing->GetWritePos()), m_thread([this] { Watch(); }) {}
  ~HeaderArrivalWatch() {
    m_quit.store(true);
    m_thread.join();
  }
  HeaderArrivalWatch(const HeaderArrivalWatch&) = delete;
  HeaderArrivalWatch& operator=(const HeaderArrivalWatch&) = delete;

  // The bracket, once the header was seen; incomplete until then.
  TickBracket Result() const {
    TickBracket bracket;
    bracket.complete = m_complete.load();
    if (bracket.complete) {
      bracket.earliest = m_earliest;
      bracket.latest = m_latest;
    }
    return bracket;
  }

 private:
  // Finer than the 10 ms steps of the DecThread, coarse enough to cost nothing.
  static constexpr std::chrono::milliseconds kLookInterval{1};

  void Watch() {
    bool sawNoHandle = false;  // a handle already there at the first look brackets nothing
    for (;;) {
      if (m_quit.load()) {
        return;
      }
      const DWORD tick = GetTickCount();
      if (g_hDecThread.load() != nullptr) {
        break;
      }
      m_earliest = tick;
      sawNoHandle = true;
      std::this_thread::sleep_for(kLookInterval);
    }
    while (g_pStreamRing->GetWritePos() == m_startWritePos) {
      if (m_quit.load()) {
        return;
      }
      std::this_thread::sleep_for(kLookInterval);
    }
    m_latest = GetTickCount();
    m_complete.store(sawNoHandle);
  }

  const DWORD m_startWritePos;  // ring offset before the session
  DWORD m_earliest = 0;         // written by the watch thread before m_complete
  DWORD m_latest = 0;
  std::atomic<bool> m_complete{false};
  std::atomic<bool> m_quit{false};
  std::thread m_thread;
};

}  // namespace integration
