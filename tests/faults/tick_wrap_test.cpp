// The 32-bit millisecond tick wraps (every 49.7 days) in the middle of a
// session: pieces that arrive just before and just after the wrap must still
// reach the player one delay after they came, no sooner and no later.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/device/device_test_support.h"
#include "tests/faults/fake_session_fixture.h"

namespace faults {
namespace {

constexpr LONG kDelayMs = 2000;  // the dialog's 2 s
// The wrap falls a second into the stream, so pieces come on both sides of it.
constexpr DWORD kStartTick = 0xFFFFFFFFu - 999;
constexpr DWORD kPieceIntervalMs = 250;  // about a camera's key-frame pace
constexpr int kPieces = 12;              // 3 s of stream: 4 before the wrap, 8 after
constexpr int kFedBoundMs = 10000;

class TickWrap : public FakeSessionFixture {};

TEST_F(TickWrap, DelaysStayRightAcrossTheWrapOfTheTick) {
  sys::UseVirtualClock(kStartTick);
  OnStartTeaching(m_dialog);
  ASSERT_TRUE(m_dialog.messages.empty());

  // The device's thread, played at exact virtual moments: after every wait
  // step of the DecThread, each piece whose time has come arrives.
  std::mutex mutex;
  std::vector<DWORD> arrivals;  // ms ticks at which each piece was stored
  std::atomic<int> next{0};
  // Held until the header is stored, the DecThread (started just before) can
  // move the clock by one wait step at most before the header's stamp.
  std::atomic<bool> headerStored{false};
  sys::SetVirtualSleepHook([&](DWORD tick) {
    while (!headerStored.load()) {
      std::this_thread::yield();
    }
    while (next < kPieces &&
           static_cast<LONG>(tick - (kStartTick + kPieceIntervalMs * (next + 1))) >= 0) {
      std::lock_guard<std::mutex> lock(mutex);
      arrivals.push_back(GetTickCount());
      fakedevice::Deliver(kStreamData, {0x47, static_cast<BYTE>(next.load()), 0, 0});
      ++next;
    }
  });
  fakedevice::Deliver(kStreamHeader, {0x47, 0x40, 0, 0x10});
  headerStored = true;
  ASSERT_TRUE(testing_device::WaitFor(
      [] { return fakeplayer::CallCount("PlayM4_InputData") == kPieces + 1; }, kFedBoundMs));
  sys::SetVirtualSleepHook(nullptr);
  StopSession(m_dialog);

  const auto fed = fakeplayer::Calls("PlayM4_InputData");
  ASSERT_EQ(fed.size(), static_cast<size_t>(kPieces + 1));
  // The header comes first; its stamp is the start tick or one step later.
  EXPECT_EQ(fed[0].data, (std::vector<BYTE>{0x47, 0x40, 0, 0x10}));
  LONG age = static_cast<LONG>(fed[0].tick - kStartTick);
  EXPECT_GE(age, kDelayMs);
  EXPECT_LT(age, kDelayMs + 2 * static_cast<LONG>(kDecWaitStepMs));
  int afterWrap = 0;
  std::lock_guard<std::mutex> lock(mutex);
  for (int i = 0; i < kPieces; ++i) {
    SCOPED_TRACE("piece " + std::to_string(i));
    ASSERT_EQ(fed[i + 1].data.at(1), i) << "out of order";
    age = static_cast<LONG>(fed[i + 1].tick - arrivals[i]);
    EXPECT_GE(age, kDelayMs);
    EXPECT_LT(age, kDelayMs + static_cast<LONG>(kDecWaitStepMs));
    afterWrap += arrivals[i] < kStartTick ? 1 : 0;
  }
  EXPECT_GT(afterWrap, 0) << "no piece arrived after the wrap; the test proves nothing";
  EXPECT_LT(afterWrap, kPieces) << "no piece arrived before the wrap";
  // No record was held to the 40 s bound by a wrong sign.
  for (const std::string& message : Log()) {
    EXPECT_EQ(message.find("nTSpan >40000"), std::string::npos);
  }
}

}  // namespace
}  // namespace faults
