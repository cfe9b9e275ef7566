#include <cstring>
#include <thread>
#include <vector>

#include "tests/session/DecThreadFixture.h"

namespace {

constexpr DWORD kRecords = 900;

// Record i's length: 1 byte to 128 KiB, spread by a multiplicative hash so
// records of every size cross the end of the block. In all about 57 MiB, near
// twice the ring, so the producer runs into a full ring when it is ahead.
DWORD LengthOf(DWORD index) { return 1 + (index * 2654435761u >> 7) % (128 * 1024); }

BYTE ByteOf(DWORD index, DWORD offset) { return static_cast<BYTE>(index * 13 + offset * 7 + (offset >> 9)); }

struct Producer {
  std::vector<DWORD> stored;   // indices the room test let in, in order
  DWORD refused = 0;
};

DWORD ProduceAtFullSpeed(void* param) {
  auto* producer = static_cast<Producer*>(param);
  std::vector<BYTE> payload(128 * 1024);
  for (DWORD i = 0; i < kRecords; ++i) {
    const DWORD len = LengthOf(i);
    for (DWORD k = 0; k < len; ++k) {
      payload[k] = ByteOf(i, k);
    }
    std::memcpy(payload.data(), &i, len < sizeof i ? len : sizeof i);
    CSLock lock(g_csStream);
    if (g_pStreamRing->StoreRecord(GetTickCount(), payload.data(), len)) {
      producer->stored.push_back(i);
    } else {
      ++producer->refused;
    }
  }
  return 1;
}

using DecThreadStressTest = DecThreadFixture;

TEST_F(DecThreadStressTest, EveryStoredRecordArrivesWholeAndInOrder) {
  // Real clock with no delay: both threads run flat out against each other.
  g_nDelayMs = 0;
  Producer producer;
  HANDLE producerThread = CreateThread(ProduceAtFullSpeed, &producer, "producer");
  ASSERT_NE(producerThread, nullptr);
  StartDecThread();
  ASSERT_EQ(WaitForSingleObject(producerThread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(producerThread);
  while (g_pStreamRing->GetDataLen() != 0) {
    std::this_thread::yield();  // the DecThread drains what is left
  }
  InterlockedExchange(&g_bTread, 0);
  JoinDecThread();

  EXPECT_EQ(producer.stored.size() + producer.refused, kRecords);
  const auto fed = fakeplayer::Calls("PlayM4_InputData");
  ASSERT_EQ(fed.size(), producer.stored.size()) << "records lost or invented";
  for (size_t n = 0; n < fed.size(); ++n) {
    const DWORD index = producer.stored[n];
    const DWORD len = LengthOf(index);
    ASSERT_EQ(fed[n].data.size(), len) << "record " << index << " torn";
    for (DWORD k = 0; k < len; ++k) {
      const BYTE expected = k < sizeof index ? reinterpret_cast<const BYTE*>(&index)[k] : ByteOf(index, k);
      ASSERT_EQ(fed[n].data[k], expected) << "record " << index << " byte " << k;
    }
  }
}

}  // namespace
