// UDP may hand a stream's packets over out of order (a Wi-Fi retry, a link
// with two paths, a bridge that delivers late bursts). They are put back in
// sequence order before they are taken apart; a missing packet is waited for
// as long as a delayed picture can afford, then taken as lost. Interleaved
// TCP keeps the order and does not need this.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

namespace device {

// What the reorder did with the packets offered to it, since it was made.
struct ReorderCounts {
  uint64_t lost = 0;       // sequence numbers given up on (and packets of an old numbering)
  uint64_t late = 0;       // packets that came after their gap was given up on
  uint64_t duplicate = 0;  // copies of a packet already given out or waiting
  uint64_t reordered = 0;  // packets that came after a later one, still in time

  ReorderCounts& operator+=(const ReorderCounts& other) {
    lost += other.lost;
    late += other.late;
    duplicate += other.duplicate;
    reordered += other.reordered;
    return *this;
  }
};

class RtpReorder {
 public:
  using Clock = std::chrono::steady_clock;

  // The picture is shown 1 to 60 s late, so waiting is cheap and a lost
  // packet (a damaged picture until the next key frame) is dear: pool-side
  // Wi-Fi bridges hand packets over up to ~150 ms late, in bursts.
  static constexpr std::chrono::milliseconds kMaxHold{200};
  // Packets kept behind a gap: 200 ms of an 8 Mbit/s stream (~140 packets of
  // 1,400 bytes) with room for a 4K key frame's burst; ~750 KB at most.
  static constexpr size_t kMaxHeldPackets = 512;
  // Gaps given up on that are remembered, to tell a late packet from a copy.
  static constexpr size_t kMaxRememberedGaps = 64;

  // The packet that arrived at `now`. True: it is the next in order, to be
  // used as it is. False: it waits behind a gap (Pop gives it out later), or
  // it came too late or twice and is dropped.
  bool Offer(const std::vector<uint8_t>& packet, Clock::time_point now);
  // The next waiting packet, when the gap before it has filled or is given up
  // on at `now`.
  bool Pop(std::vector<uint8_t>* packet, Clock::time_point now);
  // When the oldest waiting packet stops waiting; max() when none waits.
  Clock::time_point HoldUntil() const;
  const ReorderCounts& Counts() const { return m_counts; }

 private:
  struct Held {
    std::vector<uint8_t> bytes;
    Clock::time_point arrived;
  };
  // A packet behind the next due: late when its gap was given up, else a copy.
  void Behind(int64_t sequence);

  bool m_started = false;
  int64_t m_next = 0;              // sequence number due next, unwrapped
  std::map<int64_t, Held> m_held;  // by unwrapped sequence number, ahead of m_next
  // Gaps given up on, [first, end) in unwrapped numbers, oldest first.
  std::deque<std::pair<int64_t, int64_t>> m_givenUp;
  ReorderCounts m_counts;
};

}  // namespace device
