// Bad input, a full buffer, closing while waiting, three threads on one port,
// and sinks that go away: no crash, no hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/player/player_fixture.h"

namespace playertest {
namespace {

using Clock = std::chrono::steady_clock;

// A close must not wait for input that never comes; far above the few
// milliseconds it takes, it only catches a stop that hangs.
constexpr auto kPromptClose = std::chrono::seconds(2);

struct Colour {
  int red, green, blue;
};

// The box colour of pictures [10 * band, 10 * band + 10).
Colour BandColour(int band) { return {band % 2 ? 230 : 20, band % 3 ? 40 : 210, 120}; }

// A moving pattern around a solid box whose colour changes with every key
// interval of 10.
TsStream ColourBandStream(int pictures, int width = 320, int height = 240) {
  EncodeSettings settings;
  settings.width = width;
  settings.height = height;
  settings.keyInterval = 10;
  return MakeStream(settings, pictures, [](int index, AVFrame& frame) {
    const Colour colour = BandColour(index / 10);
    PaintPattern(index, frame);
    PaintSolidCentre(frame, colour.red, colour.green, colour.blue);
  });
}

TEST(PlayerInput, ABufferThatIsFullRefusesWholeAndTheStreamRecoversAtAKeyFrame) {
  const TsStream stream = ColourBandStream(40, 640, 480);
  const HWND window = FakeWindow(200);
  CountingSink sink;
  ScopedSink registration(window, sink);
  ASSERT_TRUE(registration.Registered());
  // Room for the largest picture twice over, far less than the stream; open
  // without playing yet, so nothing drains it.
  size_t largest = 0;
  for (const auto& chunk : stream.chunks) {
    largest = std::max(largest, chunk.size());
  }
  const auto kBufferBytes = static_cast<DWORD>(stream.header.size() + 2 * largest);
  LONG port = -1;
  ASSERT_TRUE(PlayM4_GetPort(&port));
  ASSERT_TRUE(PlayM4_OpenStream(port, stream.header.data(),
                                static_cast<DWORD>(stream.header.size()), kBufferBytes));
  size_t next = 0;
  while (next < stream.chunks.size() && Feed(port, stream.chunks[next])) {
    ++next;
  }
  ASSERT_LT(next, 9u) << "the buffer filled inside the first key interval";
  // The refused picture is lost, as the program loses a refused record; the
  // pictures after it refer to it until the key frame at 10.
  ASSERT_TRUE(PlayM4_Play(port, window));
  for (++next; next < stream.chunks.size(); ++next) {
    ASSERT_TRUE(FeedPatiently(port, stream.chunks[next]));
  }
  const Colour last = BandColour(3);
  auto near = [](int a, int b) { return std::abs(a - b) <= 8; };
  EXPECT_TRUE(WaitUntil([&] {
    const Pixel centre = sink.LastCentre();
    return near(centre.red, last.red) && near(centre.green, last.green) &&
           near(centre.blue, last.blue);
  })) << "the last pictures decode right";
  CloseAll(port);
}

TEST(PlayerInput, RandomBytesAfterTheHeaderNeitherCrashNorHang) {
  const TsStream stream = MakeStream({}, 5, PaintPattern);
  const LONG port = OpenAndPlay(stream, nullptr);
  ASSERT_GE(port, 0);
  std::mt19937 random(42);
  for (int chunk = 0; chunk < 300; ++chunk) {
    std::vector<uint8_t> bytes(188 * 7);
    for (auto& b : bytes) {
      b = static_cast<uint8_t>(random());
    }
    if (chunk % 2 == 0) {
      for (size_t at = 0; at < bytes.size(); at += 188) {
        bytes[at] = 0x47;  // half of them look like TS packets
      }
    }
    Feed(port, bytes);
  }
  // Real pictures after the noise still decode.
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(FeedPatiently(port, chunk));
  }
  LONG width = 0, height = 0;
  EXPECT_TRUE(WaitUntil([&] { return PlayM4_GetPictureSize(port, &width, &height) != 0; }));
  const auto started = Clock::now();
  CloseAll(port);
  EXPECT_LT(Clock::now() - started, kPromptClose);
}

TEST(PlayerInput, DroppedDuplicatedReorderedAndDamagedChunksNeitherCrashNorHang) {
  const TsStream stream = ColourBandStream(60);
  const HWND window = FakeWindow(201);
  CountingSink sink;
  ScopedSink registration(window, sink);
  ASSERT_TRUE(registration.Registered());
  std::mt19937 random(1234);
  for (int round = 0; round < 8; ++round) {
    const LONG port = OpenAndPlay(stream, window);
    ASSERT_GE(port, 0);
    std::vector<std::vector<uint8_t>> mangled;
    for (size_t i = 0; i < stream.chunks.size(); ++i) {
      std::vector<uint8_t> chunk = stream.chunks[i];
      switch (random() % 6) {
        case 0:  // dropped
          continue;
        case 1:  // duplicated
          mangled.push_back(chunk);
          break;
        case 2:  // bits flipped anywhere, headers included
          for (int flips = 0; flips < 8; ++flips) {
            chunk[random() % chunk.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
          }
          break;
        case 3:  // cut mid-packet: the rest of the stream loses its alignment
          chunk.resize(chunk.size() / 2 + 1);
          break;
        default:
          break;
      }
      mangled.push_back(std::move(chunk));
      if (mangled.size() >= 2 && random() % 5 == 0) {  // reordered
        std::swap(mangled[mangled.size() - 1], mangled[mangled.size() - 2]);
      }
    }
    for (const auto& chunk : mangled) {
      FeedPatiently(port, chunk);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto started = Clock::now();
    CloseAll(port);
    EXPECT_LT(Clock::now() - started, kPromptClose);
  }
  EXPECT_GT(sink.Count(), 0);
}

TEST(PlayerStop, CloseWhileTheDecodeThreadWaitsForInputReturnsPromptly) {
  const TsStream stream = MakeStream({}, 5, PaintPattern);
  // Waiting inside the demuxer's open: only the header came.
  LONG port = OpenAndPlay(stream, nullptr);
  ASSERT_GE(port, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto started = Clock::now();
  EXPECT_TRUE(PlayM4_Stop(port));
  EXPECT_LT(Clock::now() - started, kPromptClose);
  EXPECT_TRUE(PlayM4_CloseStream(port));
  EXPECT_TRUE(PlayM4_FreePort(port));

  // Waiting for the next picture's bytes after decoding some.
  port = OpenAndPlay(stream, nullptr);
  ASSERT_GE(port, 0);
  for (const auto& chunk : stream.chunks) {
    ASSERT_TRUE(Feed(port, chunk));
  }
  LONG width = 0, height = 0;
  ASSERT_TRUE(WaitUntil([&] { return PlayM4_GetPictureSize(port, &width, &height) != 0; }));
  started = Clock::now();
  EXPECT_TRUE(PlayM4_FreePort(port)) << "freeing a playing port stops and closes it too";
  EXPECT_LT(Clock::now() - started, kPromptClose);
}

TEST(PlayerThreads, OpenFeedSnapshotAndCloseFromThreeThreads) {
  const TsStream stream = ColourBandStream(30);
  for (int round = 0; round < 5; ++round) {
    std::atomic<LONG> port{-1};
    std::atomic<bool> closed{false};
    std::thread device([&] { port = OpenAndPlay(stream, nullptr); });
    device.join();
    ASSERT_GE(port.load(), 0);
    std::atomic<int> accepted{0};
    std::thread feeder([&] {
      // Keeps feeding past the close: late feeds must be refused, not crash.
      for (int i = 0; !closed.load() || i < 40; ++i) {
        const auto& chunk = stream.chunks[static_cast<size_t>(i) % stream.chunks.size()];
        if (Feed(port, chunk)) {
          accepted.fetch_add(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    std::thread gui([&] {
      // Snapshots and the close overlap the feeding, however the threads are scheduled.
      WaitUntil([&] { return accepted.load() >= 5; });
      std::vector<uint8_t> buffer(320 * 240 * 3 / 2);
      for (int i = 0; i < 20 + round * 10; ++i) {
        LONG width = 0, height = 0;
        DWORD size = 0;
        PlayM4_GetPictureSize(port, &width, &height);
        PlayM4_GetJPEG(port, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      CloseAll(port);
      closed = true;
    });
    gui.join();
    feeder.join();
    EXPECT_GT(accepted.load(), 0);
    EXPECT_FALSE(Feed(port, stream.chunks[0])) << "a freed port takes no bytes";
  }
}

// Flags any picture that arrives after its window was unregistered.
class WatchfulSink : public CountingSink {
 public:
  void OnPicture(const player::VideoPicture& picture) override {
    if (gone.load()) {
      lateCalls.fetch_add(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // widen the race
    CountingSink::OnPicture(picture);
  }
  std::atomic<bool> gone{false};
  std::atomic<int> lateCalls{0};
};

TEST(PlayerSinks, NoPictureReachesASinkAfterItsUnregisterReturns) {
  const TsStream stream = MakeStream({}, 60, PaintPattern);
  const HWND window = FakeWindow(300);
  for (int round = 0; round < 3; ++round) {
    auto sink = std::make_unique<WatchfulSink>();
    ASSERT_TRUE(player::RegisterVideoSink(window, sink.get()));
    const LONG port = OpenAndPlay(stream, window);
    ASSERT_GE(port, 0);
    for (const auto& chunk : stream.chunks) {
      ASSERT_TRUE(FeedPatiently(port, chunk));
    }
    ASSERT_TRUE(WaitUntil([&] { return sink->Count() >= 5 + round * 10; }));
    player::UnregisterVideoSink(window);
    sink->gone = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sink->lateCalls.load(), 0);
    sink.reset();  // destroyed while the port still decodes
    CloseAll(port);
  }
}

TEST(PlayerSinks, AWindowTakesOneSinkAtATime) {
  CountingSink first, second;
  const HWND window = FakeWindow(301);
  EXPECT_FALSE(player::RegisterVideoSink(nullptr, &first));
  EXPECT_FALSE(player::RegisterVideoSink(window, nullptr));
  EXPECT_TRUE(player::RegisterVideoSink(window, &first));
  EXPECT_FALSE(player::RegisterVideoSink(window, &second));
  player::UnregisterVideoSink(window);
  EXPECT_TRUE(player::RegisterVideoSink(window, &second));
  player::UnregisterVideoSink(window);
  player::UnregisterVideoSink(window);  // twice is harmless
}

}  // namespace
}  // namespace playertest
