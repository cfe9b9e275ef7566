#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "session/StreamRing.h"

namespace {

constexpr DWORD kSize = StreamRing::kRingBytes;

std::vector<BYTE> Pattern(DWORD len, BYTE seed) {
  std::vector<BYTE> bytes(len);
  for (DWORD i = 0; i < len; ++i) {
    bytes[i] = static_cast<BYTE>(seed + i * 7 + (i >> 8));
  }
  return bytes;
}

// Moves both positions of an empty ring to pos by storing and taking filler.
void MoveEmptyRingTo(StreamRing& ring, DWORD pos) {
  std::vector<BYTE> filler(pos, 0xEE);
  ring.Write(filler.data(), pos);
  ASSERT_EQ(ring.Read(filler.data(), pos), 1);
  ASSERT_EQ(ring.GetWritePos(), pos);
  ASSERT_EQ(ring.GetReadPos(), pos);
  ASSERT_EQ(ring.GetDataLen(), 0u);
}

class StreamRingTest : public ::testing::Test {
 protected:
  std::unique_ptr<StreamRing> ring{StreamRing::Create()};
};

TEST_F(StreamRingTest, StartsEmptyWithThirtyMebibytes) {
  ASSERT_NE(ring, nullptr);
  EXPECT_EQ(ring->GetSize(), 31457280u);
  EXPECT_EQ(ring->GetDataLen(), 0u);
  EXPECT_EQ(ring->GetWritePos(), 0u);
  EXPECT_EQ(ring->GetReadPos(), 0u);
}

TEST_F(StreamRingTest, RecordIsTickThenLengthLittleEndianThenPayload) {
  const std::vector<BYTE> payload = {1, 2, 3, 4, 5};
  ASSERT_EQ(ring->StoreRecord(123456, payload.data(), 5), 1);
  EXPECT_EQ(ring->GetDataLen(), 13u);

  std::vector<BYTE> stored(13);
  ASSERT_EQ(ring->Read(stored.data(), 13), 1);
  const std::vector<BYTE> expected = {0x40, 0xE2, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00,
                                      1,    2,    3,    4,    5};
  EXPECT_EQ(stored, expected);
}

TEST_F(StreamRingTest, WriteEndingExactlyAtTheEndWrapsThePositionToZero) {
  MoveEmptyRingTo(*ring, kSize - 64);
  const std::vector<BYTE> data = Pattern(64, 1);
  ring->Write(data.data(), 64);
  EXPECT_EQ(ring->GetWritePos(), 0u);
  EXPECT_EQ(ring->GetDataLen(), 64u);

  std::vector<BYTE> out(64);
  ASSERT_EQ(ring->Read(out.data(), 64), 1);
  EXPECT_EQ(out, data);
  EXPECT_EQ(ring->GetReadPos(), 0u);

  // The next bytes go to offset 0 and come back whole.
  const std::vector<BYTE> next = Pattern(10, 99);
  ring->Write(next.data(), 10);
  std::vector<BYTE> nextOut(10);
  ASSERT_EQ(ring->Read(nextOut.data(), 10), 1);
  EXPECT_EQ(nextOut, next);
  EXPECT_EQ(ring->GetReadPos(), 10u);
}

TEST_F(StreamRingTest, WriteAndReadAcrossTheEndSplitAndWrap) {
  MoveEmptyRingTo(*ring, kSize - 100);
  const std::vector<BYTE> data = Pattern(300, 3);
  ring->Write(data.data(), 300);
  EXPECT_EQ(ring->GetWritePos(), 200u);
  EXPECT_EQ(ring->GetDataLen(), 300u);

  // Taken in two reads, the first of which itself crosses the end.
  std::vector<BYTE> out(300);
  ASSERT_EQ(ring->Read(out.data(), 150), 1);
  EXPECT_EQ(ring->GetReadPos(), 50u);
  ASSERT_EQ(ring->Read(out.data() + 150, 150), 1);
  EXPECT_EQ(out, data);
  EXPECT_EQ(ring->GetReadPos(), 200u);
  EXPECT_EQ(ring->GetDataLen(), 0u);
}

TEST_F(StreamRingTest, HeaderCrossingTheEndIsTakenWhole) {
  MoveEmptyRingTo(*ring, kSize - 3);  // 3 header bytes before the end, 5 after
  const std::vector<BYTE> payload = Pattern(20, 5);
  ASSERT_EQ(ring->StoreRecord(0xA1B2C3D4, payload.data(), 20), 1);

  StreamRecordHeader header{0, 0};
  ASSERT_EQ(ring->TakeRecordHeader(&header), 1);
  EXPECT_EQ(header.dwTick, 0xA1B2C3D4u);
  EXPECT_EQ(header.dwLen, 20u);
  EXPECT_EQ(ring->GetReadPos(), 5u);
  std::vector<BYTE> out(20);
  ASSERT_EQ(ring->Read(out.data(), 20), 1);
  EXPECT_EQ(out, payload);
}

TEST_F(StreamRingTest, HeaderTakeNeedsEightBytes) {
  const BYTE seven[7] = {};
  ring->Write(seven, 7);
  StreamRecordHeader header{1, 1};
  EXPECT_EQ(ring->TakeRecordHeader(&header), 0);
  EXPECT_EQ(ring->GetDataLen(), 7u);
  EXPECT_EQ(ring->GetReadPos(), 0u);
}

TEST_F(StreamRingTest, RoomTestIsStrictSoTheRingNeverHoldsItsCapacity) {
  constexpr DWORD kPayload = 1000;
  const std::vector<BYTE> payload = Pattern(kPayload, 9);
  // Filler so that count + 1000 + 8 == m_dwSize: dropped whole.
  std::vector<BYTE> filler(kSize - kPayload - 8, 0x11);
  ring->Write(filler.data(), static_cast<DWORD>(filler.size()));
  EXPECT_EQ(ring->StoreRecord(1, payload.data(), kPayload), 0);
  EXPECT_EQ(ring->GetDataLen(), filler.size());

  // One byte less held: count + 1000 + 8 == m_dwSize - 1, stored.
  BYTE one = 0;
  ASSERT_EQ(ring->Read(&one, 1), 1);
  EXPECT_EQ(ring->StoreRecord(2, payload.data(), kPayload), 1);
  EXPECT_EQ(ring->GetDataLen(), kSize - 1);

  // Write's own test: nothing fits beside m_dwSize - 1 bytes; it still says 1.
  EXPECT_EQ(ring->Write(&one, 1), 1);
  EXPECT_EQ(ring->GetDataLen(), kSize - 1);
}

TEST_F(StreamRingTest, DroppedRecordLeavesRoomForASmallerLaterOne) {
  std::vector<BYTE> filler(kSize - 200, 0x22);
  ring->Write(filler.data(), static_cast<DWORD>(filler.size()));
  const std::vector<BYTE> big = Pattern(500, 1);
  const std::vector<BYTE> small = Pattern(100, 2);
  EXPECT_EQ(ring->StoreRecord(1, big.data(), 500), 0);
  EXPECT_EQ(ring->StoreRecord(2, small.data(), 100), 1);
  EXPECT_EQ(ring->GetDataLen(), kSize - 200 + 108);
}

TEST_F(StreamRingTest, ReadOfNothingOrOfMoreThanHeldChangesNothing) {
  MoveEmptyRingTo(*ring, 40);
  const std::vector<BYTE> data = Pattern(16, 4);
  ring->Write(data.data(), 16);

  std::vector<BYTE> out(17, 0x5A);
  EXPECT_EQ(ring->Read(out.data(), 0), 0);
  EXPECT_EQ(ring->Read(out.data(), 17), 0);
  EXPECT_EQ(out, std::vector<BYTE>(17, 0x5A));
  EXPECT_EQ(ring->GetDataLen(), 16u);
  EXPECT_EQ(ring->GetReadPos(), 40u);
  EXPECT_EQ(ring->GetWritePos(), 56u);
}

TEST_F(StreamRingTest, PayloadsBeyondTheFeedBufferOrEmptyAreNeverStored) {
  std::vector<BYTE> payload(kMaxRecordPayloadBytes + 1, 0x33);
  EXPECT_EQ(ring->StoreRecord(1, payload.data(), kMaxRecordPayloadBytes + 1), 0);
  EXPECT_EQ(ring->StoreRecord(1, payload.data(), 0), 0);
  EXPECT_EQ(ring->GetDataLen(), 0u);
  EXPECT_EQ(ring->StoreRecord(1, payload.data(), kMaxRecordPayloadBytes), 1);
  EXPECT_EQ(ring->GetDataLen(), kMaxRecordPayloadBytes + kRecordHeaderBytes);
}

TEST_F(StreamRingTest, RecordsOfManySizesSurviveRepeatedWraps) {
  // Varied record sizes walk the positions through the end of the block
  // several times; every record comes back whole.
  std::vector<BYTE> out(kMaxRecordPayloadBytes);
  for (DWORD i = 0; i < 40; ++i) {
    const DWORD len = 1 + (i * 2654435761u) % (3 * 1024 * 1024);
    const std::vector<BYTE> payload = Pattern(len, static_cast<BYTE>(i));
    ASSERT_EQ(ring->StoreRecord(1000 + i, payload.data(), len), 1);
    StreamRecordHeader header{0, 0};
    ASSERT_EQ(ring->TakeRecordHeader(&header), 1);
    ASSERT_EQ(header.dwTick, 1000 + i);
    ASSERT_EQ(header.dwLen, len);
    ASSERT_EQ(ring->Read(out.data(), len), 1);
    ASSERT_TRUE(std::equal(payload.begin(), payload.end(), out.begin())) << "record " << i;
  }
  EXPECT_EQ(ring->GetDataLen(), 0u);
}

TEST(StreamRingSize, HoldsTheDelayAtSixteenMbitWithAQuarterToSpareWithinTheBounds) {
  constexpr DWORD kMiB = StreamRing::kBytesPerMiB;
  EXPECT_EQ(StreamRing::BytesForDelay(2, 30), 30 * kMiB);
  EXPECT_EQ(StreamRing::BytesForDelay(12, 30), 30 * kMiB) << "short delays keep the default";
  EXPECT_EQ(StreamRing::BytesForDelay(13, 30), 31 * kMiB);
  EXPECT_EQ(StreamRing::BytesForDelay(60, 30), 144 * kMiB);
  EXPECT_EQ(StreamRing::BytesForDelay(60, 200), 200 * kMiB) << "a larger ringMB is kept";
  EXPECT_EQ(StreamRing::BytesForDelay(60, 4096), 512 * kMiB) << "at most the largest ringMB";
  // Peeking at the oldest record takes nothing.
  std::unique_ptr<StreamRing> ring(StreamRing::Create(64 * 1024));
  DWORD tick = 0;
  EXPECT_EQ(ring->PeekOldestTick(&tick), 0);
  const BYTE payload[3] = {1, 2, 3};
  ASSERT_EQ(ring->StoreRecord(4242, payload, 3), 1);
  ASSERT_EQ(ring->StoreRecord(4343, payload, 3), 1);
  EXPECT_EQ(ring->PeekOldestTick(&tick), 1);
  EXPECT_EQ(tick, 4242u);
  EXPECT_EQ(ring->GetDataLen(), 2 * (kRecordHeaderBytes + 3));
}

}  // namespace
