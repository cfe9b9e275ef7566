// The player side falls behind until the ring is full: the DecThread stalls
// (a throttled consumer) while the camera keeps sending. Pieces that do not
// fit are dropped whole, every record that was kept comes out whole and in
// order, and once the consumer catches up the stream flows again.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "session/StreamIntake.h"
#include "tests/device/device_test_support.h"
#include "tests/faults/fake_session_fixture.h"

namespace faults {
namespace {

constexpr int kPiecesWhileStalled = 60;  // about 48 MiB against a 30 MiB ring
constexpr int kPiecesAfterRecovery = 20;
constexpr DWORD kPieceBaseBytes = 600 * 1024;
constexpr DWORD kPieceSpreadBytes = 400 * 1024;  // odd sizes end records at odd offsets
constexpr DWORD kRecordHeaderBytes = 8;
constexpr int kDrainBoundMs = 30000;
// A stalled-free consumer still waits a little per virtual step, so that its
// empty-ring turns do not spin a core of a shared machine.
constexpr auto kStepPause = std::chrono::microseconds(100);

// Piece `seq`: its number in the first four bytes, then a pattern of its own.
std::vector<BYTE> Piece(int seq) {
  const DWORD size = kPieceBaseBytes + static_cast<DWORD>(seq * 7919) % kPieceSpreadBytes;
  std::vector<BYTE> bytes(size);
  for (DWORD i = 0; i < size; ++i) {
    bytes[i] = static_cast<BYTE>(seq * 31 + i * 7);
  }
  for (int b = 0; b < 4; ++b) {
    bytes[static_cast<size_t>(b)] = static_cast<BYTE>(seq >> (8 * b));
  }
  return bytes;
}

int SeqOf(const std::vector<BYTE>& bytes) {
  return bytes.size() < 4 ? -1 : bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24;
}

// Holds the DecThread inside its wait steps while closed.
class Throttle {
 public:
  void Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_closed = false;
    }
    m_changed.notify_all();
  }
  void Step() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_held = m_closed;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return !m_closed; });
    m_held = false;
    lock.unlock();
    std::this_thread::sleep_for(kStepPause);
  }
  // True once the consumer is being held.
  bool Holding() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_closed = false;
  bool m_held = false;
};

class RingOverflow : public FakeSessionFixture {};

TEST_F(RingOverflow, StalledPlayerDropsWholeRecordsKeepsOrderAndRecovers) {
  sys::UseVirtualClock(1000);
  fakeplayer::SetPort(3);
  Throttle throttle;
  throttle.Close();
  sys::SetVirtualSleepHook([&](DWORD) { throttle.Step(); });
  OnStartTeaching(m_dialog);
  const std::vector<BYTE> header = {0x47, 0x40, 0, 0x10};
  fakedevice::Deliver(kStreamHeader, header);
  ASSERT_TRUE(testing_device::WaitFor([&] { return throttle.Holding(); }, kDrainBoundMs));

  // The camera goes on while nothing is taken out.
  std::vector<int> kept;
  int dropped = 0;
  for (int seq = 0; seq < kPiecesWhileStalled; ++seq) {
    const DWORD before = g_pStreamRing->GetDataLen();
    fakedevice::Deliver(kStreamData, Piece(seq));
    const DWORD after = g_pStreamRing->GetDataLen();
    if (after == before) {
      ++dropped;
    } else {
      // Stored whole: exactly its header and payload, nothing more or less.
      EXPECT_EQ(after - before, kRecordHeaderBytes + Piece(seq).size()) << "piece " << seq;
      kept.push_back(seq);
    }
  }
  EXPECT_GT(dropped, 0) << "the ring never filled; the test proves nothing";
  EXPECT_GT(g_pStreamRing->GetDataLen(), g_pStreamRing->GetSize() - kPieceBaseBytes - kPieceSpreadBytes);
  EXPECT_LT(g_pStreamRing->GetDataLen(), g_pStreamRing->GetSize());

  // The player catches up, then the camera's next pieces all get through.
  throttle.Open();
  // The header record, then every kept piece.
  ASSERT_TRUE(testing_device::WaitFor(
      [&] { return fakeplayer::CallCount("PlayM4_InputData") == kept.size() + 1; },
      kDrainBoundMs));
  EXPECT_EQ(g_pStreamRing->GetDataLen(), 0u);
  // The consumer runs now and may take a piece at once, so the ring's count
  // tells nothing here; the feeds below must hold every one of them.
  for (int seq = kPiecesWhileStalled; seq < kPiecesWhileStalled + kPiecesAfterRecovery; ++seq) {
    fakedevice::Deliver(kStreamData, Piece(seq));
    kept.push_back(seq);
  }
  ASSERT_TRUE(testing_device::WaitFor(
      [&] { return fakeplayer::CallCount("PlayM4_InputData") == kept.size() + 1; },
      kDrainBoundMs));
  sys::SetVirtualSleepHook(nullptr);
  StopSession(m_dialog);

  // Every feed is one whole piece as the camera sent it, in the order sent.
  const auto fed = fakeplayer::Calls("PlayM4_InputData");
  ASSERT_EQ(fed.size(), kept.size() + 1);
  EXPECT_EQ(fed[0].data, header);
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(fed[i + 1].port, 3);
    ASSERT_EQ(SeqOf(fed[i + 1].data), kept[i]) << "feed " << i + 1;
    EXPECT_TRUE(fed[i + 1].data == Piece(kept[i])) << "piece " << kept[i] << " torn";
  }
}

}  // namespace
}  // namespace faults
