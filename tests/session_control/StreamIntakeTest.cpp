#include "tests/session_control/SessionFixture.h"

namespace {

using ::testing::ElementsAre;

class StreamIntake : public SessionFixture {
 protected:
  // A session whose header has opened the player. The DecThread takes each
  // record as soon as it is stored and, on the virtual clock, waits out even
  // this long delay at once, so what the intake stores may already be fed.
  void StartWithHeader(std::vector<BYTE> header = {0x47, 0x40, 0x00, 0x10}) {
    m_dialog.values.delay = "60";
    OnStartTeaching(m_dialog);
    fakedevice::Deliver(NET_DVR_SYSHEAD, std::move(header));
  }

  // Every payload the session stored, in order: what the DecThread fed (a
  // record it holds is fed when it is halted too), then what is still in the
  // ring. Call it once the DecThread has ended.
  std::vector<std::vector<BYTE>> StoredPayloads() {
    std::vector<std::vector<BYTE>> payloads;
    for (const auto& call : fakeplayer::Calls("PlayM4_InputData")) {
      payloads.push_back(call.data);
    }
    CSLock lock(g_csStream);
    StreamRecordHeader header{0, 0};
    while (g_pStreamRing->TakeRecordHeader(&header)) {
      std::vector<BYTE> payload(header.dwLen);
      EXPECT_TRUE(g_pStreamRing->Read(payload.data(), header.dwLen));
      payloads.push_back(std::move(payload));
    }
    return payloads;
  }

  // Ends the DecThread without the rest of the stop, so the ring can be read.
  static void HaltDecThread() {
    InterlockedExchange(&g_bTread, 0);
    HANDLE thread = g_hDecThread.exchange(nullptr);
    CloseHandle(thread);
  }
};

TEST_F(StreamIntake, HeaderOpensThePlayerOnTheDisplayAndIsTheFirstRecord) {
  StartWithHeader();
  fakedevice::Deliver(NET_DVR_STREAMDATA, {1, 2, 3});
  HaltDecThread();

  const auto calls = fakeplayer::Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].name, "PlayM4_GetPort");
  EXPECT_EQ(calls[1].name, "PlayM4_SetStreamOpenMode");
  EXPECT_EQ(calls[1].args, (std::vector<int64_t>{0}));
  EXPECT_EQ(calls[2].name, "PlayM4_OpenStream");
  EXPECT_EQ(calls[2].data, (std::vector<BYTE>{0x47, 0x40, 0x00, 0x10}));
  EXPECT_EQ(calls[2].args.back(), 1048576);
  EXPECT_EQ(calls[3].name, "PlayM4_Play");
  EXPECT_EQ(calls[3].args, (std::vector<int64_t>{0x1234}));
  EXPECT_EQ(g_lPlayPort, 3);

  EXPECT_THAT(StoredPayloads(), ElementsAre(std::vector<BYTE>{0x47, 0x40, 0x00, 0x10},
                                            std::vector<BYTE>{1, 2, 3}));
}

TEST_F(StreamIntake, DropsEmptyPiecesDataBeforeTheHeaderAndUnknownTypes) {
  m_dialog.values.delay = "60";
  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_STREAMDATA, {9, 9});  // no port yet
  EXPECT_EQ(g_pStreamRing->GetDataLen(), 0u);
  EXPECT_TRUE(fakeplayer::Calls().empty());

  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47});
  fakedevice::Deliver(NET_DVR_STREAMDATA, {});
  fakedevice::Deliver(3, {5, 5, 5});
  fakedevice::Deliver(0, {5, 5, 5});
  HaltDecThread();
  EXPECT_THAT(StoredPayloads(), ElementsAre(std::vector<BYTE>{0x47}));
}

TEST_F(StreamIntake, EmptyHeaderTakesAPortButOpensNothing) {
  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {});
  EXPECT_EQ(g_lPlayPort, 3);
  EXPECT_EQ(fakeplayer::Calls().size(), 1u);
  EXPECT_EQ(g_hDecThread.load(), nullptr);
  EXPECT_EQ(g_pStreamRing->GetDataLen(), 0u);
  StopSession(m_dialog);
  EXPECT_EQ(fakeplayer::Calls("PlayM4_FreePort")[0].port, 3);
}

TEST_F(StreamIntake, FailedOpenStoresNoHeaderAndALaterHeaderGivesTheOldPortBack) {
  fakeplayer::QueueResults("PlayM4_OpenStream", {0});
  m_dialog.values.delay = "60";
  OnStartTeaching(m_dialog);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 1});
  EXPECT_EQ(g_hDecThread.load(), nullptr);
  EXPECT_EQ(g_pStreamRing->GetDataLen(), 0u);

  fakeplayer::SetPort(4);
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 2});
  EXPECT_EQ(g_lPlayPort, 4);
  ASSERT_EQ(fakeplayer::Calls("PlayM4_FreePort").size(), 1u);
  EXPECT_EQ(fakeplayer::Calls("PlayM4_FreePort")[0].port, 3);
  EXPECT_NE(g_hDecThread.load(), nullptr);
}

TEST_F(StreamIntake, SecondHeaderJoinsTheStreamWithoutASecondPortOrThread) {
  StartWithHeader();
  const HANDLE first = g_hDecThread.load();
  fakedevice::Deliver(NET_DVR_SYSHEAD, {0x47, 0x40, 0x00, 0x11});
  EXPECT_EQ(g_hDecThread.load(), first);
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_GetPort"), 1u);
  EXPECT_EQ(sys::RunningThreadCount(), 1);
  HaltDecThread();
  const auto payloads = StoredPayloads();
  ASSERT_EQ(payloads.size(), 2u);
  EXPECT_EQ(payloads[1].back(), 0x11);
}

TEST_F(StreamIntake, NearlyFullRingDropsALargePieceAndStoresASmallerOne) {
  StartWithHeader();
  HaltDecThread();
  // Fill the ring to leave room for exactly one record of 100 payload bytes.
  const DWORD size = g_pStreamRing->GetSize();
  std::vector<BYTE> filler(kMaxRecordPayloadBytes);
  while (size - g_pStreamRing->GetDataLen() > kMaxRecordPayloadBytes + 2 * kRecordHeaderBytes) {
    fakedevice::Deliver(NET_DVR_STREAMDATA, filler);
  }
  const DWORD left = size - g_pStreamRing->GetDataLen();  // bytes free
  const DWORD last = left - 2 * kRecordHeaderBytes - 100;
  fakedevice::Deliver(NET_DVR_STREAMDATA, std::vector<BYTE>(last, 1));
  const DWORD held = g_pStreamRing->GetDataLen();

  // A record that would bring the count exactly to the capacity is dropped
  // whole...
  fakedevice::Deliver(NET_DVR_STREAMDATA, std::vector<BYTE>(100, 2));
  EXPECT_EQ(g_pStreamRing->GetDataLen(), held);
  // ...and a smaller one that fits is stored.
  fakedevice::Deliver(NET_DVR_STREAMDATA, std::vector<BYTE>(99, 3));
  EXPECT_EQ(g_pStreamRing->GetDataLen(), held + 99 + kRecordHeaderBytes);
}

TEST_F(StreamIntake, PieceLargerThanTheFeedBufferNeverEntersTheRing) {
  StartWithHeader();
  HaltDecThread();
  const DWORD held = g_pStreamRing->GetDataLen();
  fakedevice::Deliver(NET_DVR_STREAMDATA, std::vector<BYTE>(kMaxRecordPayloadBytes + 1, 1));
  EXPECT_EQ(g_pStreamRing->GetDataLen(), held);
  fakedevice::Deliver(NET_DVR_STREAMDATA, std::vector<BYTE>(kMaxRecordPayloadBytes, 1));
  EXPECT_EQ(g_pStreamRing->GetDataLen(), held + kMaxRecordPayloadBytes + kRecordHeaderBytes);
}

}  // namespace
