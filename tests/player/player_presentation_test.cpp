// The presentation clock: pictures leave at the pace of their time stamps
// whatever the pace they were decoded at, held no longer than the bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "platform/player/presentation_clock.h"

namespace playertest {
namespace {

using player::PresentationClock;

constexpr int64_t kTicksPerMs = 90;
constexpr int kPictures = 1500;  // a minute at 25 pictures/s

struct Pacing {
  const char* name;
  double streamStepMs;  // time stamp step per picture
  double arrivalStepMs;  // real time per picture (differs: the camera's clock drifts)
  int jitterMs;         // +- network jitter before the DecThread's 10 ms steps
  double speed = 1.0;   // presentation speed (a slowed replay fed at its own pace)
  int reorder = 0;      // B-frames: pictures come in decode order, this deep
};

class PlayerPresentation : public ::testing::TestWithParam<Pacing> {};

// Arrival at the decoder as the program makes it: the camera's pace, the
// network's jitter, then the DecThread's 10 ms sleep steps.
std::vector<double> Arrivals(const Pacing& pacing) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> jitter(-pacing.jitterMs, pacing.jitterMs);
  std::vector<double> arrivals;
  double latest = 0;
  for (int i = 0; i < kPictures; ++i) {
    const double sent = 1000 + i * pacing.arrivalStepMs + jitter(random);
    const double fed = std::ceil(sent / 10) * 10;
    latest = std::max(latest, fed);  // records are fed in order
    arrivals.push_back(latest);
  }
  return arrivals;
}

// Display number of the picture decoded i-th: a reference picture, then the
// `reorder` B-frames before it in display order, latest first (a pyramid
// decodes its middle one first; for one B-frame it is the same).
int DisplayNumber(int i, int reorder) {
  if (reorder == 0 || i == 0) {
    return i;
  }
  const int group = (i - 1) / (reorder + 1);
  const int place = (i - 1) % (reorder + 1);
  const int reference = 1 + group * (reorder + 1) + reorder;
  return place == 0 ? reference : reference - place;
}

TEST_P(PlayerPresentation, PicturesLeaveAtTheStreamsPaceHeldNoLongerThanTheBound) {
  const Pacing pacing = GetParam();
  const std::vector<double> arrivals = Arrivals(pacing);
  PresentationClock clock;
  clock.SetSpeed(pacing.speed);
  std::vector<double> deviations;
  double previous = 0;
  // The decoder hands pictures out in display order once `reorder` more are in.
  std::priority_queue<int, std::vector<int>, std::greater<>> decoding;
  for (int i = 0; i < kPictures; ++i) {
    decoding.push(DisplayNumber(i, pacing.reorder));
    if (static_cast<int>(decoding.size()) <= pacing.reorder) {
      continue;
    }
    const int shownNumber = decoding.top();
    decoding.pop();
    const auto pts = static_cast<int64_t>(shownNumber * pacing.streamStepMs * kTicksPerMs);
    ASSERT_FALSE(clock.Behind(pts)) << "picture " << shownNumber;
    const double due = clock.Due(pts, arrivals[static_cast<size_t>(i)]);
    ASSERT_GE(due, arrivals[static_cast<size_t>(i)]);
    ASSERT_LE(due, arrivals[static_cast<size_t>(i)] + PresentationClock::kMaxHoldMs);
    // Pictures are shown in order: one due before the last shows at once after it.
    const double shown = std::max(due, previous);
    if (i > 0) {
      deviations.push_back(std::abs(shown - previous - pacing.arrivalStepMs));
    }
    previous = shown;
  }
  std::sort(deviations.begin(), deviations.end());
  const double p99 = deviations[deviations.size() * 99 / 100];
  EXPECT_LE(p99, 5.0) << "interval deviation p99 in ms";
}

std::string PacingName(const ::testing::TestParamInfo<Pacing>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Streams, PlayerPresentation,
    ::testing::Values(Pacing{"steady", 40, 40, 0}, Pacing{"jittery", 40, 40, 15},
                      Pacing{"fast_camera_clock", 40, 39.8, 15},
                      Pacing{"slow_camera_clock", 40, 40.2, 15}, Pacing{"sixty", 1000.0 / 60, 1000.0 / 60, 5},
                      Pacing{"half_speed_replay", 40, 80, 10, 0.5},
                      Pacing{"quarter_speed_replay", 40, 160, 10, 0.25},
                      Pacing{"b_frames", 40, 40, 15, 1.0, 1},
                      Pacing{"b_frame_pyramid_fifty", 20, 20, 5, 1.0, 2}),
    PacingName);

TEST(PlayerPresentationJumps, AClockThatJumpsOrStartsAgainIsFollowedAtOnce) {
  PresentationClock clock;
  double now = 5000;
  int64_t pts = 1'000'000;
  for (int i = 0; i < 100; ++i, now += 40, pts += 40 * kTicksPerMs) {
    clock.Due(pts, now);
  }
  // A camera back after a reconnection: its stamps start again at 0, or leap ahead.
  for (int64_t restart : {int64_t{0}, int64_t{90'000'000}}) {
    pts = restart;
    const double due = clock.Due(pts, now);
    EXPECT_LE(due - now, PresentationClock::kMarginMs + 1) << "restart at " << restart;
    now += 40;
    pts += 40 * kTicksPerMs;
    EXPECT_NEAR(clock.Due(pts, now) - now, PresentationClock::kMarginMs, 2) << "paced again";
  }
  // The 33-bit stamp's wrap is no jump: the pace goes on.
  pts = (int64_t{1} << 33) - 20 * kTicksPerMs;
  const double beforeWrap = clock.Due(pts, now += 40);
  const double afterWrap = clock.Due(20 * kTicksPerMs, now += 40);
  EXPECT_NEAR(afterWrap - beforeWrap, 40, 2);
}

TEST(PlayerPresentationJumps, APictureAfterALaterOneIsBehindButAClockStartingAgainIsNot) {
  PresentationClock clock;
  EXPECT_FALSE(clock.Behind(0)) << "nothing shown yet";
  clock.Due(90'000, 1000);
  clock.Due(90'000 + 40 * kTicksPerMs, 1040);
  EXPECT_TRUE(clock.Behind(90'000 + 20 * kTicksPerMs));
  EXPECT_FALSE(clock.Behind(90'000 + 80 * kTicksPerMs));
  EXPECT_FALSE(clock.Behind(0)) << "over a second back: a new clock";
}

TEST(PlayerPresentationJumps, PicturesWithoutTimeStampsLeaveAtOnce) {
  PresentationClock clock;
  EXPECT_EQ(clock.Due(-1, 1234.0), 1234.0);
}

}  // namespace
}  // namespace playertest
