#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/sys/clock.h"
#include "session/ReplayPlayer.h"
#include "tests/doubles/FakePlayer.h"

namespace {

constexpr DWORD kPictureMs = 40;
constexpr LONG kReplayPort = 9;

// One TS packet starting a video picture; random access flag when key.
std::vector<BYTE> Picture(bool key) {
  std::vector<BYTE> packet(188, 0xFF);
  const BYTE start[] = {0x47, 0x40, 0x00, 0x30, 1, static_cast<BYTE>(key ? 0x40 : 0), 0, 0, 1, 0xE0};
  std::copy(std::begin(start), std::end(start), packet.begin());
  return packet;
}

class ReplayPlayerTest : public ::testing::TestWithParam<double> {
 protected:
  void SetUp() override {
    sys::UseVirtualClock(5000);
    fakeplayer::Reset();
    fakeplayer::SetPort(kReplayPort);
    const std::vector<BYTE> header(188, 0x47);
    buffer.Restart(header.data(), 188);
    for (int i = 0; i < 25 * 12; ++i) {  // 12 s, a key frame every 2 s
      const std::vector<BYTE> picture = Picture(i % 50 == 0);
      buffer.Append(picture.data(), 188, GetTickCount());
      sys::AdvanceVirtualClock(kPictureMs);
    }
  }
  void TearDown() override {
    replay.Stop();
    sys::UseRealClock();
  }

  StreamHistory buffer;
  ReplayPlayer replay;
};

TEST_P(ReplayPlayerTest, FeedsItsOwnPortFromTheKeyFrameAtTheReplaysPaceThenEnds) {
  const double speed = GetParam();
  std::atomic<bool> ended{false};
  HistorySpan span = buffer.SpanFromKeyBefore(GetTickCount() - 8000, GetTickCount());
  const size_t records = span.records.size();
  ASSERT_TRUE(replay.Start(std::move(span), reinterpret_cast<HWND>(0x1234), speed,
                           [&ended] { ended = true; }));
  while (!ended) {
    std::this_thread::yield();  // the ReplayThread's own sleeps move the virtual clock
  }
  const std::vector<fakeplayer::Call> fed = fakeplayer::Calls("PlayM4_InputData");
  ASSERT_EQ(fed.size(), records);
  EXPECT_EQ(fed.front().port, kReplayPort);
  EXPECT_EQ(fed.front().data, Picture(true));  // starts at the key frame
  const auto expectedMs = static_cast<DWORD>(static_cast<double>(kPictureMs * (records - 1)) / speed);
  const DWORD spanMs = fed.back().tick - fed.front().tick;
  EXPECT_GE(spanMs, expectedMs);
  EXPECT_LE(spanMs, expectedMs + 2 * ReplayPlayer::kWaitStepMs);
  EXPECT_EQ(fakeplayer::Calls("SetPresentationSpeed").at(0).args.at(0),
            static_cast<int64_t>(speed * 1000));
  replay.Stop();
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_FreePort"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Speeds, ReplayPlayerTest, ::testing::Values(0.5, 0.25, 1.0));

}  // namespace
