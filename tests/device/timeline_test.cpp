// Time stamps of the remuxed stream: presentation times that follow the
// camera's (B-frames' in decode order too) across new origins, and decode
// times derived beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device/decode_timeline.h"
#include "platform/device/output_clock.h"

namespace device {
namespace {

constexpr int64_t kFrame = 3600;  // one picture at 25 frames/s, 90 kHz

TEST(OutputClock, FirstStampIsMadeUpAndLaterOnesFollowTheInputInItsOrder) {
  OutputClock clock;
  EXPECT_EQ(clock.Next(false, 0), OutputClock::kFirstStamp);  // first packet: no pts
  const int64_t second = clock.Next(true, 5000000);
  EXPECT_EQ(second, OutputClock::kFirstStamp + OutputClock::kNominalStep);
  // I P B B in decode order: the B-frames step back, and keep their times.
  EXPECT_EQ(clock.Next(true, 5000000 + 3 * kFrame), second + 3 * kFrame);
  EXPECT_EQ(clock.Next(true, 5000000 + kFrame), second + kFrame);
  EXPECT_EQ(clock.Next(true, 5000000 + 2 * kFrame), second + 2 * kFrame);
  EXPECT_FALSE(clock.TookNewOrigin());
}

TEST(OutputClock, NewConnectionContinuesAfterTheLatestStamp) {
  OutputClock clock;
  clock.Next(true, 90000);
  const int64_t latest = clock.Next(true, 90000 + kFrame * 10);
  clock.Next(true, 90000 + kFrame * 8);  // a B-frame, before the latest
  clock.Restart();
  // The camera came back with a timeline of its own, far behind the old one.
  const int64_t first = clock.Next(true, 12);
  EXPECT_TRUE(clock.TookNewOrigin());
  EXPECT_EQ(first, latest + OutputClock::kNominalStep);
  EXPECT_EQ(clock.Next(true, 12 + kFrame), first + kFrame);
  EXPECT_FALSE(clock.TookNewOrigin());
}

TEST(OutputClock, InputClockThatLeapsOrStepsBackFarTakesANewOrigin) {
  OutputClock clock;
  const int64_t a = clock.Next(true, INT64_MAX - 10);
  // From one end of the time line to the other: the difference does not fit.
  const int64_t b = clock.Next(true, INT64_MIN + 1);
  EXPECT_TRUE(clock.TookNewOrigin());
  EXPECT_EQ(b, a + OutputClock::kNominalStep);
  EXPECT_EQ(clock.Next(true, INT64_MIN + 1 + kFrame), b + kFrame);
  // A camera that resets its clock goes on one step later, not hours later.
  const int64_t c = clock.Next(true, 5 * 3600 * 90000LL);
  EXPECT_EQ(c, b + kFrame + OutputClock::kNominalStep);
  // A clock that starts again a few seconds back goes on at its own pace.
  const int64_t d = clock.Next(true, 5 * 3600 * 90000LL - 5 * 90000);
  EXPECT_TRUE(clock.TookNewOrigin());
  EXPECT_EQ(d, c + OutputClock::kNominalStep);
  EXPECT_EQ(clock.Next(true, 5 * 3600 * 90000LL - 5 * 90000 + kFrame), d + kFrame);
}

// A stream in decode order, as display numbers (times in pictures), and what
// its decode times must come to.
struct TimelineCase {
  std::string name;
  std::optional<int> stated;  // the SPS's reordering, none when it states none
  std::vector<int> decodeOrder;
  int dropped;     // pictures that came deeper out of order than known then
  int finalDepth;  // the depth in the end
};

class DecodeTimelineTest : public ::testing::TestWithParam<TimelineCase> {};

TEST_P(DecodeTimelineTest, DecodeTimesIncreaseNeverPassThePtsAndKeepOneOffset) {
  const TimelineCase& c = GetParam();
  DecodeTimeline timeline;
  if (c.stated) {
    timeline.StateDepth(*c.stated);
  }
  std::vector<DecodeTimeline::Stamps> given;
  for (int picture : c.decodeOrder) {
    const int64_t pts = OutputClock::kFirstStamp + picture * kFrame;
    if (const auto stamps = timeline.Next(pts)) {
      EXPECT_EQ(stamps->pts, pts) << "picture " << picture;
      given.push_back(*stamps);
    }
  }
  EXPECT_EQ(static_cast<int>(c.decodeOrder.size() - given.size()), c.dropped);
  EXPECT_EQ(timeline.Depth(), c.finalDepth);
  std::vector<int64_t> shown;
  for (size_t i = 0; i < given.size(); ++i) {
    EXPECT_LE(given[i].dts, given[i].pts) << "unit " << i;
    if (i > 0) {
      EXPECT_GT(given[i].dts, given[i - 1].dts) << "unit " << i;
    }
    shown.push_back(given[i].pts);
  }
  // Once the stream's reordering is known and settled, each decode time is
  // the time of the picture shown `depth` places earlier: a constant offset.
  std::sort(shown.begin(), shown.end());
  const size_t settled = given.size() / 2;
  for (size_t i = settled; i < given.size(); ++i) {
    EXPECT_EQ(given[i].dts, shown[i - c.finalDepth]) << "unit " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DecodeTimelineTest,
    ::testing::Values(
        TimelineCase{"NoBFramesKeepDtsEqualToPts", 0, {0, 1, 2, 3, 4, 5, 6, 7}, 0, 0},
        TimelineCase{"NoneStatedAndNoneSeen", std::nullopt, {0, 1, 2, 3, 4, 5}, 0, 0},
        TimelineCase{"IbbpStated", 1, {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 12, 10, 11}, 0, 1},
        TimelineCase{"PyramidStated", 2, {0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}, 0, 2},
        // A camera that states nothing: its first B-frames show the depth
        // and cannot be placed; the rest can.
        TimelineCase{"IbbpLearned", std::nullopt, {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 12, 10, 11, 15, 13, 14}, 2, 1},
        TimelineCase{"DeeperThanStated", 1, {0, 3, 1, 2, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16}, 1, 2}),
    [](const ::testing::TestParamInfo<TimelineCase>& param) { return param.param.name; });

TEST(DecodeTimeline, RepeatedTimeMovesOneTickOnAndANewTimelineGoesOnIncreasing) {
  DecodeTimeline timeline;
  timeline.StateDepth(1);
  const auto a = timeline.Next(100000);
  const auto b = timeline.Next(100000 + 3 * kFrame);
  // The camera's clock stalled: the same time again, not a reordering.
  const auto c = timeline.Next(100000 + 3 * kFrame);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(c->pts, 100000 + 3 * kFrame + 1);
  EXPECT_GT(c->dts, b->dts);
  // A new connection: its first pictures come after every decode time given.
  timeline.Restart();
  const auto d = timeline.Next(c->pts + kFrame);
  const auto e = timeline.Next(c->pts + 3 * kFrame);
  const auto f = timeline.Next(c->pts + 2 * kFrame);
  ASSERT_TRUE(d && e && f);
  EXPECT_GT(d->dts, c->dts);
  EXPECT_EQ(e->dts, d->pts);
  EXPECT_EQ(f->dts, f->pts);
  EXPECT_EQ(timeline.Depth(), 1);
}

}  // namespace
}  // namespace device
