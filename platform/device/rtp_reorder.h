// UDP may hand a stream's packets over out of order (a Wi-Fi retry, a link
// with two paths). They are put back in sequence order before they are taken
// apart; a missing packet is waited for only briefly, then taken as lost.
// Interleaved TCP keeps the order and does not need this.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace device {

class RtpReorder {
 public:
  using Clock = std::chrono::steady_clock;

  // Reordering on a LAN or Wi-Fi spans a few packets and milliseconds; a real
  // loss then delays the stream by at most half a picture at 25 frames/s.
  static constexpr std::chrono::milliseconds kMaxHold{20};
  // Packets kept behind a gap: at most ~190 KB of 1,500-byte packets. A key
  // frame's burst that outruns it gives the gap up early.
  static constexpr size_t kMaxHeldPackets = 128;

  // The packet that arrived at `now`. True: it is the next in order, to be
  // used as it is. False: it waits behind a gap (Pop gives it out later), or
  // it came too late or twice and is dropped.
  bool Offer(const std::vector<uint8_t>& packet, Clock::time_point now);
  // The next waiting packet, when the gap before it has filled or is given up
  // on at `now`.
  bool Pop(std::vector<uint8_t>* packet, Clock::time_point now);
  // When the oldest waiting packet stops waiting; max() when none waits.
  Clock::time_point HoldUntil() const;

 private:
  struct Held {
    std::vector<uint8_t> bytes;
    Clock::time_point arrived;
  };

  bool m_started = false;
  int64_t m_next = 0;              // sequence number due next, unwrapped
  std::map<int64_t, Held> m_held;  // by unwrapped sequence number, ahead of m_next
};

}  // namespace device
