// Snapshots: the last picture as a JPEG that other readers decode back to it.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

struct Rgb {
  int red, green, blue;
};

class PlayerJpeg : public ::testing::TestWithParam<Codec> {
 protected:
  void TearDown() override {
    if (port_ >= 0) {
      CloseAll(port_);
    }
  }

  // Plays a few solid pictures and waits for the port to hold one.
  void PlaySolid(int width, int height, Rgb colour) {
    EncodeSettings settings;
    settings.codec = GetParam();
    settings.width = width;
    settings.height = height;
    const TsStream stream = MakeStream(settings, 3, [colour](int, AVFrame& frame) {
      PaintSolid(frame, colour.red, colour.green, colour.blue);
    });
    port_ = OpenAndPlay(stream, nullptr);
    ASSERT_GE(port_, 0);
    for (const auto& chunk : stream.chunks) {
      ASSERT_TRUE(Feed(port_, chunk));
    }
    LONG w = 0, h = 0;
    ASSERT_TRUE(WaitUntil([&] { return PlayM4_GetPictureSize(port_, &w, &h) != 0; }));
  }

  // The snapshot as the program takes it: a buffer of width x height x 3 / 2.
  std::vector<uint8_t> Snapshot(int width, int height) {
    std::vector<uint8_t> buffer(static_cast<size_t>(width) * height * 3 / 2);
    DWORD size = 0;
    EXPECT_TRUE(PlayM4_GetJPEG(port_, buffer.data(), static_cast<DWORD>(buffer.size()), &size));
    EXPECT_GT(size, 0u);
    EXPECT_LE(size, buffer.size());
    buffer.resize(size);
    return buffer;
  }

  LONG port_ = -1;
};

void ExpectEveryPixelNear(const DecodedJpeg& picture, Rgb expected, int tolerance) {
  ASSERT_FALSE(picture.rgb.empty());
  int worst = 0;
  for (size_t i = 0; i < picture.rgb.size(); i += 3) {
    worst = std::max({worst, std::abs(picture.rgb[i] - expected.red),
                      std::abs(picture.rgb[i + 1] - expected.green),
                      std::abs(picture.rgb[i + 2] - expected.blue)});
  }
  EXPECT_LE(worst, tolerance);
}

TEST_P(PlayerJpeg, ASolidPictureDecodesBackToItsSizeAndColour) {
  const Rgb colour{200, 60, 30};
  PlaySolid(640, 480, colour);
  const std::vector<uint8_t> jpeg = Snapshot(640, 480);
  const DecodedJpeg picture = DecodeJpeg(jpeg.data(), jpeg.size());
  EXPECT_EQ(picture.width, 640);
  EXPECT_EQ(picture.height, 480);
  ExpectEveryPixelNear(picture, colour, 6);
}

TEST_P(PlayerJpeg, WhiteStaysWhiteAndBlackStaysBlack) {
  PlaySolid(320, 240, {255, 255, 255});
  std::vector<uint8_t> jpeg = Snapshot(320, 240);
  ExpectEveryPixelNear(DecodeJpeg(jpeg.data(), jpeg.size()), {255, 255, 255}, 3);
  CloseAll(port_);
  PlaySolid(320, 240, {0, 0, 0});
  jpeg = Snapshot(320, 240);
  ExpectEveryPixelNear(DecodeJpeg(jpeg.data(), jpeg.size()), {0, 0, 0}, 3);
}

TEST_P(PlayerJpeg, ABufferTooSmallFailsWithoutWritingPastIt) {
  PlaySolid(320, 240, {10, 200, 90});
  DWORD size = 0;
  std::vector<uint8_t> roomy(320 * 240 * 3 / 2);
  ASSERT_TRUE(PlayM4_GetJPEG(port_, roomy.data(), static_cast<DWORD>(roomy.size()), &size));
  const DWORD exact = size;

  constexpr uint8_t kGuard = 0x5A;
  constexpr size_t kGuardBytes = 4096;
  std::vector<uint8_t> tight(exact - 1 + kGuardBytes, kGuard);
  DWORD tooSmallSize = 12345;
  EXPECT_FALSE(PlayM4_GetJPEG(port_, tight.data(), exact - 1, &tooSmallSize));
  EXPECT_EQ(tooSmallSize, 12345u);
  EXPECT_TRUE(std::all_of(tight.begin() + exact - 1, tight.end(),
                          [](uint8_t b) { return b == kGuard; }));

  std::vector<uint8_t> fitting(exact);
  EXPECT_TRUE(PlayM4_GetJPEG(port_, fitting.data(), exact, &size));
  EXPECT_EQ(size, exact);
  EXPECT_EQ(fitting[0], 0xFF);  // SOI marker
  EXPECT_EQ(fitting[1], 0xD8);
  EXPECT_EQ(fitting[exact - 2], 0xFF);  // EOI marker
  EXPECT_EQ(fitting[exact - 1], 0xD9);

  std::vector<uint8_t> none;
  EXPECT_FALSE(PlayM4_GetJPEG(port_, none.data(), 0, &size));
}

TEST_P(PlayerJpeg, NoPictureYetGivesNoJpeg) {
  EncodeSettings settings;
  settings.codec = GetParam();
  const TsStream stream = MakeStream(settings, 1, PaintPattern);
  port_ = OpenAndPlay(stream, nullptr);
  ASSERT_GE(port_, 0);
  std::vector<uint8_t> buffer(1 << 20, 0x33);
  DWORD size = 99;
  EXPECT_FALSE(PlayM4_GetJPEG(port_, buffer.data(), static_cast<DWORD>(buffer.size()), &size));
  EXPECT_EQ(size, 99u);
  EXPECT_EQ(buffer[0], 0x33);
}

INSTANTIATE_TEST_SUITE_P(Codecs, PlayerJpeg, kEveryCodec, CodecTestName);

}  // namespace
}  // namespace playertest
