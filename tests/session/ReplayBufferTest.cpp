#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/sys/clock.h"
#include "session/ReplayBuffer.h"

namespace {

constexpr DWORD kPictureMs = 40;  // 25 pictures/s
constexpr int kKeyInterval = 50;  // pictures from one key frame to the next
constexpr int64_t kFirstPts = (int64_t{1} << 32) + 7;  // all 33 bits in use
constexpr int64_t kPtsStep = 3600;                    // 40 ms at 90 kHz

// One TS packet starting a PES of stream id `streamId`; the random-access
// flag set when key.
std::vector<BYTE> PesStart(BYTE streamId, bool key, int64_t pts = 0) {
  std::vector<BYTE> packet(188, 0xFF);
  packet[0] = 0x47;
  packet[1] = 0x40;  // payload unit start, PID 0x100
  packet[2] = 0x00;
  packet[3] = 0x30;  // adaptation field and payload
  packet[4] = 1;
  packet[5] = key ? 0x40 : 0x00;
  const BYTE pes[] = {0, 0, 1, streamId, 0, 0, 0x80, 0x80, 5,
                      static_cast<BYTE>(0x21 | ((pts >> 29) & 0x0E)),
                      static_cast<BYTE>(pts >> 22), static_cast<BYTE>(0x01 | ((pts >> 14) & 0xFE)),
                      static_cast<BYTE>(pts >> 7), static_cast<BYTE>(0x01 | ((pts << 1) & 0xFE))};
  std::copy(std::begin(pes), std::end(pes), packet.begin() + 6);
  return packet;
}

// A record with one video picture of `bytes` (whole 188-byte packets).
std::vector<BYTE> PictureRecord(bool key, size_t bytes = 188, int64_t pts = 0) {
  std::vector<BYTE> record = PesStart(0xE0, key, pts);
  record.resize(bytes < 188 ? 188 : bytes / 188 * 188, 0x11);
  return record;
}

class ReplayBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::UseVirtualClock(0xFFFF0000u);  // the tick wraps during the tests
    const std::vector<BYTE> header(188, 0x47);
    buffer.Restart(header.data(), static_cast<DWORD>(header.size()));
  }
  void TearDown() override { sys::UseRealClock(); }

  // Feeds `count` pictures at 25/s, a key frame every kKeyInterval.
  void FeedPictures(int count, size_t bytes = 188) {
    for (int i = 0; i < count; ++i, ++fed) {
      const std::vector<BYTE> record =
          PictureRecord(fed % kKeyInterval == 0, bytes, kFirstPts + fed * kPtsStep);
      ASSERT_TRUE(buffer.Append(record.data(), static_cast<DWORD>(record.size())));
      sys::AdvanceVirtualClock(kPictureMs);
    }
  }

  ReplayBuffer buffer;
  int fed = 0;
};

TEST(ReplayScanTest, CountsVideoPicturesAndTheFirstOnesKeyFlagOnly) {
  std::vector<BYTE> record = PesStart(0xC0, true);  // audio: no picture
  const std::vector<BYTE> video = PesStart(0xE0, false);
  const std::vector<BYTE> key = PesStart(0xE0, true);
  record.insert(record.end(), video.begin(), video.end());
  record.insert(record.end(), key.begin(), key.end());
  PictureScan scan = ScanPictures(record.data(), static_cast<DWORD>(record.size()));
  EXPECT_EQ(scan.nPictures, 2);
  EXPECT_FALSE(scan.bKey);
  scan = ScanPictures(key.data(), 188);
  EXPECT_EQ(scan.nPictures, 1);
  EXPECT_TRUE(scan.bKey);
  const std::vector<BYTE> stamped = PesStart(0xE0, false, kFirstPts);
  EXPECT_EQ(ScanPictures(stamped.data(), 188).llFirstPts, kFirstPts);
}

TEST_F(ReplayBufferTest, KeepsTheLastSixtySecondsOfWholeRecords) {
  FeedPictures(25 * 70);  // 70 s
  ReplaySpan all = buffer.SpanFromKeyBefore(GetTickCount() - 100000);
  ASSERT_FALSE(all.records.empty());
  const LONG oldestAge = static_cast<LONG>(GetTickCount() - 40 - all.records.front()->dwTick);
  EXPECT_LE(oldestAge, static_cast<LONG>(kReplayKeepMs));
  EXPECT_GE(oldestAge, static_cast<LONG>(kReplayKeepMs) - 2000);  // from a key frame, <= 2 s in
  EXPECT_EQ(buffer.DataBytes() % 188, 0u);
  int64_t oldest = 0;
  int64_t newest = 0;
  ASSERT_TRUE(buffer.PictureRange(&oldest, &newest));
  EXPECT_EQ(newest, 25 * 70 - 1);
  EXPECT_EQ(newest - oldest + 1, 60000 / kPictureMs + 1);  // both ends of the 60 s
}

TEST_F(ReplayBufferTest, DropsTheOldestWholeRecordsOverSixtyFourMebibytes) {
  constexpr size_t kRecordBytes = 188 * 5000;  // 940,000 bytes a picture
  FeedPictures(100, kRecordBytes);             // 94 MB in 4 s
  EXPECT_LE(buffer.DataBytes(), kReplayMaxBytes);
  EXPECT_GT(buffer.DataBytes(), kReplayMaxBytes - kRecordBytes);
  EXPECT_EQ(buffer.DataBytes() % kRecordBytes, 0u);
  EXPECT_LE(buffer.PeakBytes(), kReplayMaxBytes);
}

TEST_F(ReplayBufferTest, ReplayStartsAtTheKeyFrameAtOrBeforeItsPoint) {
  FeedPictures(25 * 20);
  for (DWORD backMs : {8000u, 2000u, 30000u}) {
    const DWORD from = GetTickCount() - backMs;
    ReplaySpan span = buffer.SpanFromKeyBefore(from);
    ASSERT_FALSE(span.records.empty()) << backMs;
    EXPECT_TRUE(span.records.front()->bKey);
    EXPECT_NE(span.header, nullptr);
    if (backMs <= 20000) {
      EXPECT_LE(static_cast<LONG>(from - span.records.front()->dwTick), 2000);
      EXPECT_GE(static_cast<LONG>(from - span.records.front()->dwTick), 0);
    } else {
      EXPECT_EQ(span.records.front()->llFirstPicture, 0);  // no key that old: the oldest
    }
  }
}

TEST_F(ReplayBufferTest, ClipStartsAtTheNearestKeyFrame) {
  FeedPictures(25 * 30);
  const DWORD from = GetTickCount() - 20000 + 900;  // 0.9 s after a key's time, 1.1 s before the next
  ReplaySpan span = buffer.SpanFromKeyNearest(from);
  ASSERT_FALSE(span.records.empty());
  EXPECT_TRUE(span.records.front()->bKey);
  EXPECT_LE(std::abs(static_cast<LONG>(from - span.records.front()->dwTick)), 1000);
}

TEST_F(ReplayBufferTest, PictureStepSpansFromItsKeyFrameToTheNextPicture) {
  FeedPictures(120);
  int skip = -1;
  ReplaySpan span = buffer.SpanForPicture(57, &skip);
  ASSERT_FALSE(span.records.empty());
  EXPECT_EQ(span.records.front()->llFirstPicture, 50);
  EXPECT_EQ(skip, 7);
  EXPECT_EQ(span.records.back()->llFirstPicture, 58);
  EXPECT_TRUE(buffer.SpanForPicture(119, &skip).records.empty());  // 120 has not come
  int64_t picture = -1;
  ASSERT_TRUE(buffer.PictureOfPts(kFirstPts + 57 * kPtsStep, &picture));  // a window's picture
  EXPECT_EQ(picture, 57);
}

TEST_F(ReplayBufferTest, KeepsNothingWithoutAHeaderAndForgetsAllOnClear) {
  FeedPictures(10);
  buffer.Clear();
  const std::vector<BYTE> record = PictureRecord(true);
  EXPECT_FALSE(buffer.Append(record.data(), static_cast<DWORD>(record.size())));
  EXPECT_EQ(buffer.DataBytes(), 0u);
  int64_t oldest = 0;
  int64_t newest = 0;
  EXPECT_FALSE(buffer.PictureRange(&oldest, &newest));
}

}  // namespace
