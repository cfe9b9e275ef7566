// The player's stream input: a whole port life per input. An input that
// starts with a stream header of its own (a mutated real stream) opens the
// port with it; any other input follows a fixed, valid header. The input is
// decoded to its end, a snapshot is taken, and the port is given back with
// its decode thread ended.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/player/player.h"
#include "platform/player/stream_header.h"
#include "platform/stream/ts.h"
#include "platform/player/video_sink.h"
#include "tests/player/ts_maker.h"

namespace {

constexpr size_t kTsPacket = stream::kTsPacketBytes;
// A header is PAT and PMT, with an SDT in front as the device writes it; one
// more packet of slack for mutated ones.
constexpr size_t kMaxHeaderPackets = 4;
// The input buffer holds the header and the whole input, and at least this
// much. The decode thread reads at most one fed piece at a time and works it
// through the demuxer before it reads again, so a filler taken in means the
// input before it was worked through.
constexpr size_t kMinBufferBytes = kTsPacket * 64;
// Longer inputs are cut; scripts/fuzz allows 32 KB (-max_len).
constexpr size_t kMaxBufferBytes = kTsPacket * 200;
// A port whose decode thread ended early (its demuxer did not open) never
// drains; past this the input is closed as it is.
constexpr auto kDrainLimit = std::chrono::seconds(2);
constexpr auto kDrainPoll = std::chrono::microseconds(200);
// How long (in 1 ms tries) a thread that was joined may still be listed.
constexpr int kThreadSettleTries = 100;
// The sink asks for a smaller surface, so the scaler runs on every picture.
constexpr int kSurfaceWidth = 96;   // pixels
constexpr int kSurfaceHeight = 72;  // pixels
// Larger pictures are not snapshot: a mutated size could ask for gigabytes.
constexpr LONG kMaxSnapshotPixels = 4096 * 2304;

std::vector<uint8_t> g_header;  // the fixed header, made once
std::vector<uint8_t> g_filler;  // the largest buffer's worth of null TS packets

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_player_stream: %s\n", what);
    std::abort();
  }
}

// Reads every pixel it is handed, so a picture that points outside its own
// memory is caught by AddressSanitizer.
class TouchingSink : public player::VideoSink {
 public:
  player::SurfaceSize Surface() override { return {kSurfaceWidth, kSurfaceHeight}; }
  void OnPicture(const player::VideoPicture& picture) override {
    Check(picture.width == kSurfaceWidth && picture.height == kSurfaceHeight,
          "picture not at the surface size");
    for (int row = 0; row < picture.height; ++row) {
      const uint8_t* line = picture.pixels + static_cast<ptrdiff_t>(row) * picture.strideBytes;
      for (int x = 0; x < picture.width * 4; ++x) {
        sum_ += line[x];
      }
    }
  }

 private:
  uint32_t sum_ = 0;  // keeps the reads from being optimised away
};

TouchingSink g_sink;
HWND const g_window = reinterpret_cast<HWND>(uintptr_t{0x5151});

// Leading packets of the input that form a stream header, in bytes; 0 if none.
size_t OwnHeaderBytes(const uint8_t* data, size_t size) {
  for (size_t packets = 1; packets <= kMaxHeaderPackets; ++packets) {
    if (packets * kTsPacket <= size && player::IsStreamHeader(data, packets * kTsPacket)) {
      return packets * kTsPacket;
    }
  }
  return 0;
}

// Waits until the decode thread has taken in and worked through every byte
// fed so far: a whole buffer of null packets is accepted only once the
// buffer is empty, and the second one only once the decode thread has read
// the first, so it has worked through the input before it.
void Drain(LONG port, DWORD bufferBytes) {
  const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
  for (int fills = 0; fills < 2;) {
    if (PlayM4_InputData(port, g_filler.data(), bufferBytes) != 0) {
      ++fills;
    } else if (std::chrono::steady_clock::now() > deadline) {
      return;
    } else {
      std::this_thread::sleep_for(kDrainPoll);
    }
  }
}

int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// A joined thread may stay listed for a moment after the join returns.
bool ThreadsBackTo(int count) {
  for (int tries = 0; tries < kThreadSettleTries; ++tries) {
    if (ThreadCount() <= count) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

void Snapshot(LONG port) {
  LONG width = 0;
  LONG height = 0;
  if (PlayM4_GetPictureSize(port, &width, &height) == 0) {
    return;
  }
  Check(width > 0 && height > 0, "picture size not positive");
  if (width > kMaxSnapshotPixels / height) {
    return;
  }
  // The size the program gives (width x height x 3 / 2), and a buffer far
  // too small, which must be refused without a write past it.
  std::vector<BYTE> jpeg(static_cast<size_t>(width) * height * 3 / 2);
  DWORD jpegSize = 0;
  if (PlayM4_GetJPEG(port, jpeg.data(), static_cast<DWORD>(jpeg.size()), &jpegSize) != 0) {
    Check(jpegSize >= 4 && jpegSize <= jpeg.size(), "JPEG size out of its buffer");
    Check(jpeg[0] == 0xFF && jpeg[1] == 0xD8, "JPEG without its start marker");
  }
  std::vector<BYTE> tiny(16);
  jpegSize = 7;
  Check(PlayM4_GetJPEG(port, tiny.data(), static_cast<DWORD>(tiny.size()), &jpegSize) == 0 &&
            jpegSize == 7,
        "a JPEG written into 16 bytes");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  playertest::EncodeSettings settings;
  settings.width = 64;
  settings.height = 48;
  const playertest::TsStream stream = playertest::MakeStream(settings, 1, playertest::PaintPattern);
  g_header = stream.header;
  Check(player::IsStreamHeader(g_header.data(), g_header.size()), "made no stream header");
  Check(g_header.size() <= kMaxHeaderPackets * kTsPacket, "made header too long");
  g_filler.assign(kMaxBufferBytes, 0xFF);
  for (size_t at = 0; at < g_filler.size(); at += kTsPacket) {
    const uint8_t nullPacket[] = {0x47, 0x1F, 0xFF, 0x10};  // PID 0x1FFF, payload only
    std::copy(std::begin(nullPacket), std::end(nullPacket), g_filler.begin() + at);
  }
  Check(player::RegisterVideoSink(g_window, &g_sink), "cannot register the sink");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Taken at the first input: libFuzzer starts its own threads after the
  // initialisation.
  static const int threadsBefore = ThreadCount();
  const uint8_t* header = g_header.data();
  size_t headerSize = OwnHeaderBytes(data, size);
  if (headerSize != 0) {
    header = data;
    data += headerSize;
    size -= headerSize;
  } else {
    headerSize = g_header.size();
  }
  if (size > kMaxBufferBytes - headerSize) {
    size = kMaxBufferBytes - headerSize;
  }
  // Whole packets, so that the filler after the input stays packet-aligned
  // in the buffer for the next reads.
  const size_t wanted = (headerSize + size + kTsPacket - 1) / kTsPacket * kTsPacket;
  const auto bufferBytes = static_cast<DWORD>(std::max(wanted, kMinBufferBytes));

  LONG port = -1;
  Check(PlayM4_GetPort(&port) != 0, "no free port: a port was not given back");
  Check(PlayM4_SetStreamOpenMode(port, 0) != 0, "open mode refused");
  Check(PlayM4_OpenStream(port, header, static_cast<DWORD>(headerSize), bufferBytes) != 0,
        "header refused");
  Check(PlayM4_Play(port, g_window) != 0, "play refused");
  if (size != 0) {
    Check(PlayM4_InputData(port, data, static_cast<DWORD>(size)) != 0, "input refused");
  }
  Drain(port, bufferBytes);
  Snapshot(port);
  PlayM4_Stop(port);
  Snapshot(port);  // the last picture stays after the stop
  PlayM4_CloseStream(port);
  Check(PlayM4_FreePort(port) != 0, "port not given back");
  Check(ThreadsBackTo(threadsBefore), "a thread outlived its port");
  return 0;
}
