// What the player tells on stderr: rate-limited reports of what it gives up
// on, and one line of stage statistics when a port's stream is released.
#include <gtest/gtest.h>

#include <string>

#include "platform/player/diagnostics.h"
#include "platform/player/stage_stats.h"
#include "platform/sys/clock.h"
#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

using player::Diagnose;
using player::Diagnostic;

int Lines(const std::string& text) {
  int count = 0;
  for (char c : text) {
    count += c == '\n' ? 1 : 0;
  }
  return count;
}

class PlayerDiagnostics : public ::testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override { sys::UseVirtualClock(GetParam()); }
  void TearDown() override { sys::UseRealClock(); }
};

TEST_P(PlayerDiagnostics, AFloodOfOneKindWritesOneLinePerIntervalAndCountsTheRest) {
  testing::internal::CaptureStderr();
  Diagnose(Diagnostic::kPicture, "port %d: first", 3);
  for (int i = 0; i < 10; ++i) {
    Diagnose(Diagnostic::kPicture, "port %d: again", 3);
  }
  sys::AdvanceVirtualClock(player::kReportIntervalMs - 1);
  Diagnose(Diagnostic::kPicture, "port %d: again", 3);
  const std::string flood = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(flood), 1) << flood;
  EXPECT_EQ(flood.rfind("player: port 3: first", 0), 0u) << flood;

  testing::internal::CaptureStderr();
  sys::AdvanceVirtualClock(1);
  Diagnose(Diagnostic::kPicture, "port %d: later", 3);
  Diagnose(Diagnostic::kMemory, "port %d: another kind", 3);
  const std::string later = testing::internal::GetCapturedStderr();
  EXPECT_NE(later.find("player: port 3: later (11 more like it held back)\n"), std::string::npos)
      << later;
  EXPECT_NE(later.find("player: port 3: another kind"), std::string::npos)
      << "each kind has its own limit";
}

// Near the tick's wrap, as well as far from it.
INSTANTIATE_TEST_SUITE_P(Ticks, PlayerDiagnostics, ::testing::Values(DWORD{1u << 30}, DWORD{0xFFFFF000u}));

TEST(PlayerStageStats, APortCountsWhatItsStagesDidAndSaysSoOnStderrWhenItCloses) {
  const TsStream stream = MakeStream({}, 10, PaintPattern);
  const HWND window = FakeWindow(300);
  CountingSink sink;
  ScopedSink registration(window, sink);
  const LONG port = OpenAndPlay(stream, window, 64 * 1024);
  ASSERT_GE(port, 0);
  player::StageStats stats;
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(FeedPatiently(port, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 10; }));
  const std::vector<uint8_t> tooLarge(128 * 1024, 0x47);
  EXPECT_FALSE(Feed(port, tooLarge));
  ASSERT_TRUE(player::ReadStageStats(port, &stats));
  EXPECT_EQ(stats.picturesDecoded, 10u);
  EXPECT_EQ(stats.picturesPresented, 10u);
  EXPECT_EQ(stats.picturesDropped, 0u);
  EXPECT_EQ(stats.bytesRefused, tooLarge.size());
  EXPECT_GT(stats.decodeP50Ms, 0.0);
  EXPECT_GE(stats.decodeP99Ms, stats.decodeP50Ms);
  EXPECT_GE(stats.latencyP50Ms, stats.decodeP50Ms) << "fed to decoded includes the decoding";

  testing::internal::CaptureStderr();
  CloseAll(port);
  const std::string closing = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(closing), 1) << closing;
  EXPECT_EQ(closing.rfind("player: port " + std::to_string(port) +
                              " closed: 10 pictures decoded, 10 presented, 0 dropped",
                          0),
            0u)
      << closing;
  EXPECT_FALSE(player::ReadStageStats(port, &stats)) << "no stream, no statistics";
}

}  // namespace
}  // namespace playertest
