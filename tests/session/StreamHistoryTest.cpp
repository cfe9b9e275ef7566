#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/sys/clock.h"
#include "session/StreamHistory.h"

namespace {

constexpr DWORD kPictureMs = 40;  // 25 pictures/s
constexpr int kKeyInterval = 50;  // pictures from one key frame to the next
constexpr int64_t kFirstPts = (int64_t{1} << 32) + 7;  // all 33 bits in use
constexpr int64_t kPtsStep = 3600;                    // 40 ms at 90 kHz

// A PES time stamp field: 4 bits of prefix, 33 bits with marker bits.
void PutTimestamp(BYTE prefix, int64_t time, BYTE* at) {
  at[0] = static_cast<BYTE>(prefix << 4 | ((time >> 29) & 0x0E) | 1);
  at[1] = static_cast<BYTE>(time >> 22);
  at[2] = static_cast<BYTE>(0x01 | ((time >> 14) & 0xFE));
  at[3] = static_cast<BYTE>(time >> 7);
  at[4] = static_cast<BYTE>(0x01 | ((time << 1) & 0xFE));
}

// One TS packet starting a PES of stream id `streamId`; the random-access
// flag set when key; a DTS besides the PTS when one is given.
std::vector<BYTE> PesStart(BYTE streamId, bool key, int64_t pts = 0, int64_t dts = -1) {
  std::vector<BYTE> packet(188, 0xFF);
  packet[0] = 0x47;
  packet[1] = 0x40;  // payload unit start, PID 0x100
  packet[2] = 0x00;
  packet[3] = 0x30;  // adaptation field and payload
  packet[4] = 1;
  packet[5] = key ? 0x40 : 0x00;
  const bool both = dts >= 0;
  const BYTE pes[] = {0, 0, 1, streamId, 0, 0, 0x80, static_cast<BYTE>(both ? 0xC0 : 0x80),
                      static_cast<BYTE>(both ? 10 : 5)};
  std::copy(std::begin(pes), std::end(pes), packet.begin() + 6);
  PutTimestamp(both ? 3 : 2, pts, &packet[15]);
  if (both) {
    PutTimestamp(1, dts, &packet[20]);
  }
  return packet;
}

// A record with one video picture of `bytes` (whole 188-byte packets).
std::vector<BYTE> PictureRecord(bool key, size_t bytes = 188, int64_t pts = 0, int64_t dts = -1) {
  std::vector<BYTE> record = PesStart(0xE0, key, pts, dts);
  record.resize(bytes < 188 ? 188 : bytes / 188 * 188, 0x11);
  return record;
}

class StreamHistoryTest : public ::testing::Test {
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
      ASSERT_TRUE(buffer.Append(record.data(), static_cast<DWORD>(record.size()), GetTickCount()));
      sys::AdvanceVirtualClock(kPictureMs);
    }
  }

  StreamHistory buffer;
  int fed = 0;
};

TEST(ReplayScanTest, CountsVideoPicturesAndTheFirstOnesKeyFlagOnly) {
  std::vector<BYTE> record = PesStart(0xC0, true);  // audio: no picture
  const std::vector<BYTE> video = PesStart(0xE0, false);
  const std::vector<BYTE> key = PesStart(0xE0, true);
  record.insert(record.end(), video.begin(), video.end());
  record.insert(record.end(), key.begin(), key.end());
  PictureScan scan =
      ScanPictures(record.data(), static_cast<DWORD>(record.size()), stream::VideoCodec::kH264);
  EXPECT_EQ(scan.pictures.size(), 2u);
  EXPECT_FALSE(scan.bKey);
  scan = ScanPictures(key.data(), 188, stream::VideoCodec::kH264);
  EXPECT_EQ(scan.pictures.size(), 1u);
  EXPECT_TRUE(scan.bKey);
  const std::vector<BYTE> stamped = PesStart(0xE0, false, kFirstPts);
  EXPECT_EQ(ScanPictures(stamped.data(), 188, stream::VideoCodec::kH264).pictures,
            std::vector<int64_t>{kFirstPts});
}

TEST_F(StreamHistoryTest, DropsTheOldestWholeRecordsOverItsCapacity) {
  constexpr size_t kCapacity = 8u << 20;
  constexpr size_t kRecordBytes = 188 * 5000;  // 940,000 bytes a picture
  buffer.SetCapacity(kCapacity);
  FeedPictures(100, kRecordBytes);  // 94 MB in 4 s
  EXPECT_LE(buffer.DataBytes(), kCapacity);
  EXPECT_GT(buffer.DataBytes(), kCapacity - kRecordBytes);
  EXPECT_EQ(buffer.DataBytes() % kRecordBytes, 0u);
  EXPECT_LE(buffer.PeakBytes(), kCapacity);
}

TEST_F(StreamHistoryTest, SpansOfWhatWasShownEndAtTheShownTickAndStepsStayBehindIt) {
  FeedPictures(25 * 30);
  const DWORD shown = GetTickCount() - 10000;  // a 10 s delay
  const HistorySpan span = buffer.SpanFromKeyNearest(shown - 5000, shown);
  ASSERT_FALSE(span.records.empty());
  EXPECT_LE(static_cast<LONG>(span.records.back()->dwTick - shown), 0);
  EXPECT_GT(static_cast<LONG>(span.records.back()->dwTick - shown), -static_cast<LONG>(kPictureMs));
  EXPECT_TRUE(buffer.SpanFromKeyBefore(GetTickCount() - 60000, GetTickCount() - 60000)
                  .records.empty())
      << "nothing had arrived then";
  // The newest picture a step reaches is the last one shown.
  int64_t newest = 0;
  ASSERT_TRUE(buffer.StepPts(kFirstPts + 10'000 * kPtsStep, 0, shown, &newest));
  EXPECT_EQ(newest, span.records.back()->pictures.front());
  // And back to the oldest key frame held, no further.
  int64_t oldest = 0;
  ASSERT_TRUE(buffer.StepPts(kFirstPts - 100, -10, shown, &oldest));
  EXPECT_EQ(oldest, kFirstPts);
}

TEST_F(StreamHistoryTest, ReplayStartsAtTheKeyFrameAtOrBeforeItsPoint) {
  FeedPictures(25 * 20);
  for (DWORD backMs : {8000u, 2000u, 30000u}) {
    const DWORD from = GetTickCount() - backMs;
    HistorySpan span = buffer.SpanFromKeyBefore(from, GetTickCount());
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

TEST_F(StreamHistoryTest, ClipStartsAtTheNearestKeyFrame) {
  FeedPictures(25 * 30);
  const DWORD from = GetTickCount() - 20000 + 900;  // 0.9 s after a key's time, 1.1 s before the next
  HistorySpan span = buffer.SpanFromKeyNearest(from, GetTickCount());
  ASSERT_FALSE(span.records.empty());
  EXPECT_TRUE(span.records.front()->bKey);
  EXPECT_LE(std::abs(static_cast<LONG>(from - span.records.front()->dwTick)), 1000);
}

// Display number of the picture decoded i-th, with `bFrames` B-frames between
// reference pictures (as a camera sends them: the reference first).
int DisplayOf(int i, int bFrames) {
  if (bFrames == 0 || i == 0) {
    return i;
  }
  const int place = (i - 1) % (bFrames + 1);
  const int reference = (i - 1) / (bFrames + 1) * (bFrames + 1) + bFrames + 1;
  return place == 0 ? reference : reference - bFrames - 1 + place;
}

class PictureStep : public StreamHistoryTest, public ::testing::WithParamInterface<int> {};

TEST_P(PictureStep, StepsGoOnePictureInDisplayOrderFromAKeyFrameFarEnoughToShowIt) {
  const int bFrames = GetParam();
  constexpr int kPictures = 120;
  constexpr int kGroup = 48;  // a key frame every 48: a reference picture for 0, 1 and 2 B-frames
  for (int i = 0; i < kPictures; ++i) {
    const int display = DisplayOf(i, bFrames);
    // Decode times as the device layer gives them: one picture behind
    // display order where there are B-frames.
    const int64_t dts = kFirstPts + (bFrames > 0 ? i - 1 : i) * kPtsStep;
    const std::vector<BYTE> record =
        PictureRecord(display % kGroup == 0, 188, kFirstPts + display * kPtsStep, dts);
    ASSERT_TRUE(buffer.Append(record.data(), static_cast<DWORD>(record.size()), GetTickCount()));
    sys::AdvanceVirtualClock(kPictureMs);
  }
  const DWORD now = GetTickCount();
  const auto ptsOf = [](int display) { return kFirstPts + display * kPtsStep; };
  int64_t at = 0;
  ASSERT_TRUE(buffer.NearestPts(ptsOf(57) + 100, &at));
  EXPECT_EQ(at, ptsOf(57));
  for (int display = 1; display < 100; ++display) {
    int64_t next = 0;
    ASSERT_TRUE(buffer.StepPts(ptsOf(display), 1, now, &next));
    EXPECT_EQ(next, ptsOf(display + 1));
    ASSERT_TRUE(buffer.StepPts(ptsOf(display), -1, now, &next));
    EXPECT_EQ(next, ptsOf(display - 1));
    // From the key frame before it in display order, through every picture
    // the decoder needs before it hands this one out.
    const HistorySpan span = buffer.SpanForPts(ptsOf(display));
    ASSERT_FALSE(span.records.empty()) << display;
    EXPECT_TRUE(span.records.front()->bKey);
    EXPECT_EQ(span.records.front()->pictures.front(), ptsOf(display / kGroup * kGroup));
    const int64_t keyPts = span.records.front()->pictures.front();
    int shownBefore = 0;  // pictures in the span shown from the key frame to this one
    int decodedAfter = 0;  // ... and decoded after the last of them
    for (const HistoryRecordRef& record : span.records) {
      const int64_t pts = record->pictures.front();
      const bool upTo = pts >= keyPts && pts <= ptsOf(display);
      decodedAfter = upTo ? 0 : decodedAfter + 1;
      shownBefore += upTo ? 1 : 0;
    }
    EXPECT_EQ(shownBefore, display % kGroup + 1) << display;
    EXPECT_EQ(decodedAfter, (bFrames > 0 ? 1 : 0) + 1) << "reordering and one to spare";
  }
  // A clip or replay to the newest ends where it shows every picture up to
  // its last: the newest reference picture still waits for its B-frames.
  const HistorySpan clip = buffer.SpanFromKeyNearest(now - 60000, now);
  ASSERT_FALSE(clip.records.empty());
  std::vector<int64_t> clipped;
  for (const HistoryRecordRef& record : clip.records) {
    clipped.push_back(record->pictures.front());
  }
  std::sort(clipped.begin(), clipped.end());
  EXPECT_EQ(clipped.back() - clipped.front(), (static_cast<int64_t>(clipped.size()) - 1) * kPtsStep)
      << "a gap in the clip's display order";
  EXPECT_GE(clipped.size(), static_cast<size_t>(kPictures - bFrames - 1));
  // The newest pictures wait for those that let a decoder hand them out.
  int64_t newest = 0;
  ASSERT_TRUE(buffer.StepPts(ptsOf(kPictures + 10), 0, now, &newest));
  EXPECT_TRUE(buffer.SpanForPts(ptsOf(kPictures - 1)).records.empty());
  EXPECT_LT(newest, ptsOf(kPictures - 1));
  EXPECT_FALSE(buffer.SpanForPts(newest).records.empty());
}

INSTANTIATE_TEST_SUITE_P(BFrames, PictureStep, ::testing::Values(0, 1, 2));

TEST_F(StreamHistoryTest, KeepsNothingWithoutAHeaderAndForgetsAllOnClear) {
  FeedPictures(10);
  buffer.Clear();
  const std::vector<BYTE> record = PictureRecord(true);
  EXPECT_FALSE(buffer.Append(record.data(), static_cast<DWORD>(record.size()), GetTickCount()));
  EXPECT_EQ(buffer.DataBytes(), 0u);
  int64_t any = 0;
  EXPECT_FALSE(buffer.StepPts(kFirstPts, 0, GetTickCount(), &any));
}

TEST_F(StreamHistoryTest, WholeKeyFrameGroupsAreNumberedOnAcrossStreamsAndServedWithTheHeader) {
  FeedPictures(kKeyInterval * 3 + 10);  // three whole groups and a growing one
  const std::vector<HistoryGroup> groups = buffer.Groups();
  ASSERT_EQ(groups.size(), 3u);
  for (size_t i = 0; i < groups.size(); ++i) {
    EXPECT_EQ(groups[i].llNumber, groups[0].llNumber + static_cast<int64_t>(i));
    EXPECT_EQ(groups[i].llDurationPts, kKeyInterval * kPtsStep);
    EXPECT_EQ(groups[i].nBytes, kKeyInterval * 188u);
    const HistorySpan span = buffer.GroupSpan(groups[i].llNumber);
    ASSERT_EQ(span.records.size(), static_cast<size_t>(kKeyInterval));
    EXPECT_TRUE(span.records.front()->bKey);
    EXPECT_EQ(span.records.front()->dwTick, groups[i].dwFirstTick);
    EXPECT_NE(span.header, nullptr);
  }
  EXPECT_TRUE(buffer.GroupSpan(groups.back().llNumber + 1).records.empty()) << "still growing";
  // A new stream: its groups get numbers the old ones never had.
  const uint64_t generation = buffer.Generation();
  const std::vector<BYTE> header(188, 0x47);
  buffer.Restart(header.data(), static_cast<DWORD>(header.size()));
  EXPECT_NE(buffer.Generation(), generation);
  EXPECT_TRUE(buffer.Groups().empty());
  fed = 0;  // the new stream starts at a key frame
  FeedPictures(kKeyInterval + 1);
  ASSERT_EQ(buffer.Groups().size(), 1u);
  EXPECT_GT(buffer.Groups()[0].llNumber, groups.back().llNumber + 1);
}

}  // namespace
