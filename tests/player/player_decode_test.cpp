// Pictures that reach the window's sink, and the size the port reports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

constexpr int kPictures = 30;

class PlayerDecode : public ::testing::Test {
 protected:
  void TearDown() override {
    if (port_ >= 0) {
      CloseAll(port_);
    }
  }

  void Play(const TsStream& stream) {
    port_ = OpenAndPlay(stream, window_);
    ASSERT_GE(port_, 0);
  }

  const HWND window_ = FakeWindow(100);
  LONG port_ = -1;
};

TEST_F(PlayerDecode, EveryPictureReachesTheSinkAtItsSize) {
  for (auto [width, height] : {std::pair{320, 240}, std::pair{1280, 720}}) {
    SCOPED_TRACE(width);
    EncodeSettings settings;
    settings.width = width;
    settings.height = height;
    const TsStream stream = MakeStream(settings, kPictures, PaintPattern);
    ASSERT_EQ(stream.chunks.size(), static_cast<size_t>(kPictures));
    CountingSink sink;
    ScopedSink registration(window_, sink);
    port_ = OpenAndPlay(stream, window_);
    ASSERT_GE(port_, 0);
    for (const auto& chunk : stream.chunks) {
      ASSERT_TRUE(FeedPatiently(port_, chunk));
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= kPictures; })) << sink.Count();
    LONG reportedWidth = 0, reportedHeight = 0;
    ASSERT_TRUE(PlayM4_GetPictureSize(port_, &reportedWidth, &reportedHeight));
    EXPECT_EQ(reportedWidth, width);
    EXPECT_EQ(reportedHeight, height);
    CloseAll(port_);
    port_ = -1;
    EXPECT_EQ(sink.Count(), kPictures);
    for (const auto& size : sink.Sizes()) {
      EXPECT_EQ(size.width, width);
      EXPECT_EQ(size.height, height);
    }
  }
}

TEST_F(PlayerDecode, TheHeaderFedAgainAsTheFirstRecordChangesNothing) {
  const TsStream stream = MakeStream({}, kPictures, PaintPattern);
  CountingSink sink;
  ScopedSink registration(window_, sink);
  Play(stream);
  // As the delayed feed does: the header once more, then the data.
  ASSERT_TRUE(Feed(port_, stream.header));
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(Feed(port_, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= kPictures; }));
  CloseAll(port_);
  port_ = -1;
  EXPECT_EQ(sink.Count(), kPictures);
}

TEST_F(PlayerDecode, PicturesAreScaledToTheSurfaceInTheirColour) {
  const TsStream stream =
      MakeStream({}, 10, [](int, AVFrame& frame) { PaintSolid(frame, 200, 60, 30); });
  CountingSink sink({160, 90});
  ScopedSink registration(window_, sink);
  Play(stream);
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(Feed(port_, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 10; }));
  const auto sizes = sink.Sizes();
  EXPECT_EQ(sizes.back().width, 160);
  EXPECT_EQ(sizes.back().height, 90);
  const Pixel centre = sink.LastCentre();
  EXPECT_NEAR(centre.red, 200, 8);
  EXPECT_NEAR(centre.green, 60, 8);
  EXPECT_NEAR(centre.blue, 30, 8);
  EXPECT_EQ(centre.alpha, 255) << "opaque, as QImage::Format_RGB32 wants";
}

TEST_F(PlayerDecode, APortWithoutASinkStillKeepsTheLastPicture) {
  const TsStream stream = MakeStream({}, 5, PaintPattern);
  port_ = OpenAndPlay(stream, nullptr);
  ASSERT_GE(port_, 0);
  LONG width = 0, height = 0;
  EXPECT_FALSE(PlayM4_GetPictureSize(port_, &width, &height)) << "no picture yet";
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(Feed(port_, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return PlayM4_GetPictureSize(port_, &width, &height) != 0; }));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
}

TEST_F(PlayerDecode, ASizeChangeMidStreamIsReportedByTheNextSizeQuery) {
  TsMaker maker;
  ASSERT_TRUE(maker.AddSegment({}, 10, PaintPattern));
  EncodeSettings larger;
  larger.width = 640;
  larger.height = 480;
  ASSERT_TRUE(maker.AddSegment(larger, 10, PaintPattern));
  const TsStream& stream = maker.Stream();
  CountingSink sink;
  ScopedSink registration(window_, sink);
  Play(stream);
  LONG width = 0, height = 0;
  for (size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(Feed(port_, stream.chunks[i]));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 10; }));
  ASSERT_TRUE(PlayM4_GetPictureSize(port_, &width, &height));
  EXPECT_EQ(width, 320);
  for (size_t i = 10; i < stream.chunks.size(); ++i) {
    ASSERT_TRUE(Feed(port_, stream.chunks[i]));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 20; }));
  ASSERT_TRUE(PlayM4_GetPictureSize(port_, &width, &height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(sink.Sizes().back().width, 640);
}

}  // namespace
}  // namespace playertest
