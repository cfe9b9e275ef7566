// The port table, calls on ports that are not open, and which headers open a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

const TsStream& SmallStream() {
  static const TsStream stream = MakeStream({}, 5, PaintPattern);
  return stream;
}

TEST(PlayerPorts, HandsOutDistinctPortsUntilNoneIsLeftAndTakesThemBack) {
  std::vector<LONG> held;
  LONG port = -1;
  while (PlayM4_GetPort(&port)) {
    held.push_back(port);
    ASSERT_LT(held.size(), 1000u) << "the table is meant to be fixed";
  }
  ASSERT_FALSE(held.empty());
  EXPECT_EQ(std::set<LONG>(held.begin(), held.end()).size(), held.size());
  LONG untouched = 77;
  EXPECT_FALSE(PlayM4_GetPort(&untouched));
  EXPECT_EQ(untouched, 77);

  ASSERT_TRUE(PlayM4_FreePort(held.back()));
  LONG again = -1;
  ASSERT_TRUE(PlayM4_GetPort(&again));
  EXPECT_EQ(again, held.back());
  for (LONG p : held) {
    EXPECT_TRUE(PlayM4_FreePort(p));
  }
  EXPECT_FALSE(PlayM4_FreePort(held.front())) << "a free port cannot be freed twice";
}

// Every call on -1, on numbers outside the table and on a port that is not
// open fails and leaves the caller's values alone.
void ExpectEveryCallHarmless(LONG port) {
  const TsStream& stream = SmallStream();
  std::vector<uint8_t> data = stream.chunks[0];
  LONG width = 11, height = 22;
  std::vector<BYTE> jpeg(4096, 0xAB);
  DWORD jpegSize = 33;
  EXPECT_FALSE(PlayM4_Play(port, nullptr));
  EXPECT_FALSE(PlayM4_InputData(port, data.data(), static_cast<DWORD>(data.size())));
  EXPECT_FALSE(PlayM4_Stop(port));
  EXPECT_FALSE(PlayM4_CloseStream(port));
  EXPECT_FALSE(PlayM4_GetPictureSize(port, &width, &height));
  EXPECT_FALSE(PlayM4_GetJPEG(port, jpeg.data(), static_cast<DWORD>(jpeg.size()), &jpegSize));
  EXPECT_EQ(width, 11);
  EXPECT_EQ(height, 22);
  EXPECT_EQ(jpegSize, 33u);
  EXPECT_EQ(std::count(jpeg.begin(), jpeg.end(), 0xAB), 4096);
}

TEST(PlayerPorts, CallsOnNoPortOrOutsideTheTableFailHarmlessly) {
  for (LONG port : {-1, -5, 16, 1000000}) {
    SCOPED_TRACE(port);
    ExpectEveryCallHarmless(port);
    EXPECT_FALSE(PlayM4_SetStreamOpenMode(port, 0));
    EXPECT_FALSE(PlayM4_OpenStream(port, SmallStream().header.data(),
                                   static_cast<DWORD>(SmallStream().header.size()), 1 << 20));
    EXPECT_FALSE(PlayM4_FreePort(port));
  }
  EXPECT_FALSE(PlayM4_GetPort(nullptr));
}

TEST(PlayerPorts, CallsOnAHeldButUnopenedPortFailHarmlessly) {
  LONG port = -1;
  ASSERT_TRUE(PlayM4_GetPort(&port));
  ExpectEveryCallHarmless(port);
  EXPECT_TRUE(PlayM4_FreePort(port));
}

TEST(PlayerPorts, CallsOnAClosedPortFailHarmlesslyAndThePortOpensAgain) {
  const TsStream& stream = SmallStream();
  const HWND window = FakeWindow(1);
  CountingSink sink;
  ScopedSink registration(window, sink);
  ASSERT_TRUE(registration.Registered());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const LONG port = OpenAndPlay(stream, window);
    ASSERT_GE(port, 0);
    for (const auto& chunk : stream.chunks) {
      ASSERT_TRUE(Feed(port, chunk));
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 5 * (round + 1); }));
    EXPECT_TRUE(PlayM4_Stop(port));
    // Stopped: no more input and no second start, but the last picture stays.
    EXPECT_FALSE(Feed(port, stream.chunks[0]));
    EXPECT_FALSE(PlayM4_Play(port, window));
    EXPECT_FALSE(PlayM4_Stop(port));
    LONG width = 0, height = 0;
    EXPECT_TRUE(PlayM4_GetPictureSize(port, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_TRUE(PlayM4_CloseStream(port));
    ExpectEveryCallHarmless(port);
    EXPECT_TRUE(PlayM4_FreePort(port));
    ExpectEveryCallHarmless(port);
  }
}

TEST(PlayerPorts, OpenModeZeroIsTheOnlyMode) {
  LONG port = -1;
  ASSERT_TRUE(PlayM4_GetPort(&port));
  EXPECT_FALSE(PlayM4_SetStreamOpenMode(port, 1));
  EXPECT_TRUE(PlayM4_SetStreamOpenMode(port, 0));
  EXPECT_TRUE(PlayM4_FreePort(port));
}

class PlayerHeader : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(PlayM4_GetPort(&port_)); }
  void TearDown() override { PlayM4_FreePort(port_); }

  bool Open(const std::vector<uint8_t>& header, DWORD bufferBytes = 1 << 20) {
    return PlayM4_OpenStream(port_, header.data(), static_cast<DWORD>(header.size()),
                             bufferBytes) != 0;
  }

  LONG port_ = -1;
  const std::vector<uint8_t> header_ = SmallStream().header;
};

TEST_F(PlayerHeader, TheDevicesHeaderOpensTheStreamOnce) {
  ASSERT_EQ(header_.size() % 188, 0u);
  EXPECT_TRUE(Open(header_));
  EXPECT_FALSE(Open(header_)) << "already open";
}

TEST_F(PlayerHeader, AHeaderRepeatedWholeStillOpens) {
  std::vector<uint8_t> twice = header_;
  twice.insert(twice.end(), header_.begin(), header_.end());
  EXPECT_TRUE(Open(twice));
}

TEST_F(PlayerHeader, TruncatedOrDamagedHeadersAreRefused) {
  EXPECT_FALSE(Open(std::vector<uint8_t>(header_.begin(), header_.end() - 1)));
  EXPECT_FALSE(Open(std::vector<uint8_t>(header_.begin() + 1, header_.end())));
  // Only the packets before the PMT: the PAT names a table that is missing.
  std::vector<uint8_t> withoutPmt;
  for (size_t at = 0; at < header_.size(); at += 188) {
    const int pid = ((header_[at + 1] & 0x1F) << 8) | header_[at + 2];
    if (pid == 0 || pid == 0x11) {
      withoutPmt.insert(withoutPmt.end(), header_.begin() + static_cast<ptrdiff_t>(at),
                        header_.begin() + static_cast<ptrdiff_t>(at + 188));
    }
  }
  EXPECT_FALSE(Open(withoutPmt));
  // One flipped bit in the tables breaks a CRC.
  for (size_t at = 0; at < header_.size(); at += 188) {
    std::vector<uint8_t> flipped = header_;
    flipped[at + 12] ^= 0x04;
    const int pid = ((header_[at + 1] & 0x1F) << 8) | header_[at + 2];
    if (pid != 0x11) {  // the SDT is not needed, so damage there is accepted
      EXPECT_FALSE(Open(flipped)) << "packet at " << at;
    }
  }
  // Stream data is no header.
  EXPECT_FALSE(Open(SmallStream().chunks[1]));
  EXPECT_FALSE(PlayM4_OpenStream(port_, nullptr, 188, 1 << 20));
}

TEST_F(PlayerHeader, RandomBytesAreRefused) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes(188 * (1 + round % 4));
    for (auto& b : bytes) {
      b = static_cast<uint8_t>(random());
    }
    for (size_t at = 0; at < bytes.size(); at += 188) {
      bytes[at] = 0x47;  // even with sync bytes in place
    }
    EXPECT_FALSE(Open(bytes));
  }
}

TEST_F(PlayerHeader, BufferSizesOutsideReasonAreRefused) {
  EXPECT_FALSE(Open(header_, 0));
  EXPECT_FALSE(Open(header_, static_cast<DWORD>(header_.size() - 1)));
  EXPECT_FALSE(Open(header_, 0xFFFFFFFFu));
  EXPECT_TRUE(Open(header_, static_cast<DWORD>(header_.size())));
}

}  // namespace
}  // namespace playertest
