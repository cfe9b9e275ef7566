// Pictures that reach the window's sink, and the size the port reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <string>
#include <tuple>

#include "platform/player/decoded_picture.h"
#include "platform/player/stage_stats.h"
#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

constexpr int kPictures = 30;

class PlayerDecode : public ::testing::TestWithParam<Codec> {
 protected:
  EncodeSettings Settings(int width = 320, int height = 240) const {
    EncodeSettings settings;
    settings.codec = GetParam();
    settings.width = width;
    settings.height = height;
    return settings;
  }

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

TEST_P(PlayerDecode, EveryPictureReachesTheSinkAtItsSize) {
  for (auto [width, height] : {std::pair{320, 240}, std::pair{1280, 720}}) {
    SCOPED_TRACE(width);
    const TsStream stream = MakeStream(Settings(width, height), kPictures, PaintPattern);
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

TEST_P(PlayerDecode, TheHeaderFedAgainAsTheFirstRecordChangesNothing) {
  const TsStream stream = MakeStream(Settings(), kPictures, PaintPattern);
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

TEST_P(PlayerDecode, PicturesAreScaledToTheSurfaceInTheirColour) {
  const TsStream stream =
      MakeStream(Settings(), 10, [](int, AVFrame& frame) { PaintSolid(frame, 200, 60, 30); });
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

TEST_P(PlayerDecode, APortWithoutASinkStillKeepsTheLastPicture) {
  const TsStream stream = MakeStream(Settings(), 5, PaintPattern);
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

TEST_P(PlayerDecode, ASizeChangeMidStreamIsFollowedBySizeSinkAndSnapshot) {
  // As a camera whose resolution is changed while it streams: a new key frame
  // with new parameter sets, in the same transport stream.
  TsMaker maker;
  const auto solid = [](int, AVFrame& frame) { PaintSolid(frame, 30, 90, 220); };
  ASSERT_TRUE(maker.AddSegment(Settings(), 10, solid));
  ASSERT_TRUE(maker.AddSegment(Settings(640, 480), 10, solid));
  const TsStream& stream = maker.Stream();
  CountingSink sink;
  ScopedSink registration(window_, sink);
  Play(stream);
  for (size_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(Feed(port_, stream.chunks[i]));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 10; }));
  EXPECT_EQ(SnapshotOf(port_).width, 320);
  for (size_t i = 10; i < stream.chunks.size(); ++i) {
    ASSERT_TRUE(Feed(port_, stream.chunks[i]));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 20; }));
  LONG width = 0, height = 0;
  ASSERT_TRUE(PlayM4_GetPictureSize(port_, &width, &height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  const auto sizes = sink.Sizes();
  for (size_t i = 10; i < sizes.size(); ++i) {
    EXPECT_EQ(sizes[i].width, 640) << "picture " << i;
    EXPECT_EQ(sizes[i].height, 480) << "picture " << i;
  }
  const DecodedJpeg snapshot = SnapshotOf(port_);
  EXPECT_EQ(snapshot.width, 640);
  EXPECT_EQ(snapshot.height, 480);
  ASSERT_FALSE(snapshot.rgb.empty());
  const size_t centre = (static_cast<size_t>(240) * 640 + 320) * 3;
  EXPECT_NEAR(snapshot.rgb[centre + 2], 220, 8) << "the new picture, not a stretched old one";
}

TEST_P(PlayerDecode, EachPictureReachesTheSinkWholeBeforeTheNextIsFed) {
  // Static noise around a coloured box: the key frame is larger than 1 MiB,
  // too large for a PES to state its length, and comes in many pieces.
  constexpr int kCount = 4;
  const TsStream stream =
      MakeStream(Settings(1920, 1080), kCount, [](int index, AVFrame& frame) {
        PaintFullNoise(frame, 7);
        PaintSolidCentre(frame, 40 + 50 * index, 200, 90);
      });
  ASSERT_EQ(stream.chunks.size(), static_cast<size_t>(kCount));
  ASSERT_GE(stream.chunks[0].size(), size_t{1} << 20) << "a key frame of over 1 MiB";
  CountingSink sink;
  ScopedSink registration(window_, sink);
  Play(stream);  // with the program's 1 MiB buffer
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(FeedAsTheDevice(port_, stream.chunks[static_cast<size_t>(i)]));
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == i + 1; }))
        << "picture " << i << " waits for the next";
    EXPECT_NEAR(sink.LastCentre().red, 40 + 50 * i, 10) << "picture " << i << " decoded whole";
  }
  player::StageStats stats;
  ASSERT_TRUE(player::ReadStageStats(port_, &stats));
  EXPECT_EQ(stats.picturesDecoded, static_cast<uint64_t>(kCount));
  EXPECT_EQ(stats.picturesPresented, static_cast<uint64_t>(kCount));
  EXPECT_EQ(stats.picturesDropped, 0u);
  EXPECT_EQ(stats.decodeErrors, 0u);
}

// A window that paints: keeps every decoded picture it is handed.
class SharingSink : public player::VideoSink {
 public:
  bool TakesDecodedPictures() const override { return true; }
  void OnDecodedPicture(const player::PictureRef& picture) override {
    std::lock_guard<std::mutex> lock(mutex_);
    pictures_.push_back(picture);
  }
  std::vector<player::PictureRef> Pictures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pictures_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<player::PictureRef> pictures_;  // guarded by mutex_
};

TEST_P(PlayerDecode, AWindowThatPaintsKeepsDecodedPicturesPastTheDecoderAndConvertsThemOnce) {
  const TsStream stream = MakeStream(Settings(), 10, [](int index, AVFrame& frame) {
    PaintSolid(frame, 20 * index, 100, 200);
  });
  SharingSink sink;
  ScopedSink registration(window_, sink);
  Play(stream);
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(Feed(port_, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Pictures().size() == 10; }));
  CloseAll(port_);  // the decoder is gone; the pictures are not
  port_ = -1;
  player::PictureConverter converter;
  const auto pictures = sink.Pictures();
  for (int index : {0, 9}) {
    const player::DecodedPicture& picture = *pictures[static_cast<size_t>(index)];
    ASSERT_EQ(picture.Width(), 320);
    EXPECT_DOUBLE_EQ(picture.DisplayAspect(), 320.0 / 240.0);
    std::vector<uint8_t> pixels(64 * 48 * 4);
    ASSERT_TRUE(converter.Convert(picture.Frame(), pixels.data(), 64 * 4, 64, 48));
    const uint8_t* centre = &pixels[(24 * 64 + 32) * 4];
    EXPECT_NEAR(centre[2], 20 * index, 8) << "picture " << index << " red";
    EXPECT_NEAR(centre[0], 200, 8) << "picture " << index << " blue";
    EXPECT_EQ(centre[3], 255);
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, PlayerDecode, kEveryCodec, CodecTestName);

TEST(PlayerCodecChange, ACameraBackWithAnotherCodecAndSizeIsFollowed) {
  // After a reconnection the device's new header names an H.265 stream on the
  // same PID where H.264 was; its time stamps start again.
  EncodeSettings before;
  EncodeSettings after;
  after.codec = Codec::kH265;
  after.width = 640;
  after.height = 480;
  const TsStream first = MakeStream(before, 10, PaintPattern);
  const TsStream second = MakeStream(after, 10, PaintPattern);
  const HWND window = FakeWindow(102);
  CountingSink sink;
  ScopedSink registration(window, sink);
  const LONG port = OpenAndPlay(first, window);
  ASSERT_GE(port, 0);
  for (const auto& chunk : first.chunks) {
    ASSERT_TRUE(FeedPatiently(port, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 10; }));
  ASSERT_TRUE(FeedPatiently(port, second.header));
  for (const auto& chunk : second.chunks) {
    ASSERT_TRUE(FeedPatiently(port, chunk));
  }
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 20; })) << sink.Count();
  LONG width = 0, height = 0;
  ASSERT_TRUE(PlayM4_GetPictureSize(port, &width, &height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  player::StageStats stats;
  ASSERT_TRUE(player::ReadStageStats(port, &stats));
  EXPECT_EQ(stats.decodeErrors, 0u);
  CloseAll(port);
}

struct Fit {
  double aspect;
  int surfaceWidth, surfaceHeight;
  player::PlaceRect expected;
};

class PlayerFit : public ::testing::TestWithParam<Fit> {};

TEST_P(PlayerFit, APictureKeepsItsAspectCentredWithBarsAroundIt) {
  const Fit fit = GetParam();
  const player::PlaceRect place = player::FitPicture(fit.aspect, fit.surfaceWidth, fit.surfaceHeight);
  EXPECT_EQ(place.x, fit.expected.x);
  EXPECT_EQ(place.y, fit.expected.y);
  EXPECT_EQ(place.width, fit.expected.width);
  EXPECT_EQ(place.height, fit.expected.height);
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, PlayerFit,
    ::testing::Values(Fit{16.0 / 9, 1920, 1080, {0, 0, 1920, 1080}},     // fills the screen
                      Fit{4.0 / 3, 1920, 1080, {240, 0, 1440, 1080}},    // bars left and right
                      Fit{16.0 / 9, 1024, 768, {0, 96, 1024, 576}},      // bars above and below
                      Fit{16.0 / 9, 1919, 1080, {0, 0, 1919, 1079}},     // odd sizes round
                      Fit{0.0, 1920, 1080, {0, 0, 0, 0}},                // no picture size
                      Fit{4.0 / 3, 0, 0, {0, 0, 0, 0}}));                // no surface

TEST_P(PlayerDecode, PicturesLargerThan1080pDecodeOnAThreadPerCoreWithNoPictureLostOrRepeated) {
  // Just over the one-thread size, small enough to encode quickly.
  EncodeSettings settings = Settings(2048, 1152);
  settings.keyInterval = 5;
  constexpr int kCount = 12;
  const TsStream stream = MakeStream(settings, kCount, [](int index, AVFrame& frame) {
    const int grey = 20 + 15 * index;
    PaintSolid(frame, grey, grey, grey);
  });
  CountingSink sink({64, 36});
  ScopedSink registration(window_, sink);
  Play(stream);
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(FeedPatiently(port_, chunk));
  }
  const int threads =
      static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  // Frame threads hold back one picture per extra thread until more come.
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= kCount - (threads - 1); })) << sink.Count();
  player::StageStats stats;
  ASSERT_TRUE(player::ReadStageStats(port_, &stats));
  EXPECT_EQ(stats.decoderThreads, threads);
  EXPECT_EQ(stats.decodeErrors, 0u);
  const std::vector<Pixel> centres = sink.Centres();
  for (size_t i = 1; i < centres.size(); ++i) {
    EXPECT_GT(centres[i].red, centres[i - 1].red) << "picture " << i << " lost or out of order";
  }
}

// How cameras shape their streams: frame rate and B-frames.
struct Shape {
  int framesPerSecond;
  int bFrames;
};

class PlayerStreamShape : public ::testing::TestWithParam<std::tuple<Codec, Shape>> {};

TEST_P(PlayerStreamShape, EveryPictureReachesTheSinkOnceInDisplayOrder) {
  const auto [codec, shape] = GetParam();
  EncodeSettings settings;
  settings.codec = codec;
  settings.framesPerSecond = shape.framesPerSecond;
  settings.keyInterval = shape.framesPerSecond;
  settings.bFrames = shape.bFrames;
  // Brighter with every picture, so the order shows in the pixels.
  const TsStream stream = MakeStream(settings, kPictures, [](int index, AVFrame& frame) {
    const int grey = 8 + 7 * index;
    PaintSolid(frame, grey, grey, grey);
  });
  ASSERT_FALSE(stream.chunks.empty());
  ASSERT_EQ(stream.reorderedPictures > 0, shape.bFrames > 0) << "the encoder made the shape asked for";
  const HWND window = FakeWindow(101);
  CountingSink sink;
  ScopedSink registration(window, sink);
  const LONG port = OpenAndPlay(stream, window);
  ASSERT_GE(port, 0);
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(FeedPatiently(port, chunk));
  }
  // The last pictures of a B-frame stream leave the decoder only when later
  // ones push them out: wait for all but the reorder depth, then close.
  const int sure = kPictures - shape.bFrames;
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= sure; })) << sink.Count();
  CloseAll(port);
  const std::vector<Pixel> centres = sink.Centres();
  ASSERT_GE(centres.size(), static_cast<size_t>(sure));
  ASSERT_LE(centres.size(), static_cast<size_t>(kPictures));
  for (size_t i = 1; i < centres.size(); ++i) {
    EXPECT_GT(centres[i].red, centres[i - 1].red) << "picture " << i << " out of order";
  }
}

using ShapeParam = std::tuple<Codec, Shape>;
std::string ShapeTestName(const ::testing::TestParamInfo<ShapeParam>& info) {
  const auto [codec, shape] = info.param;
  return std::string(CodecName(codec)) + "_" + std::to_string(shape.framesPerSecond) + "fps_" +
         std::to_string(shape.bFrames) + "b";
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, PlayerStreamShape,
    ::testing::Combine(kEveryCodec, ::testing::Values(Shape{25, 2}, Shape{50, 0}, Shape{60, 2})),
    ShapeTestName);

}  // namespace
}  // namespace playertest
