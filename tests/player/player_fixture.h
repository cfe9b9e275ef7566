// Shared helpers of the player tests: a counting sink, waiting with a bound
// that only catches hangs, and opening and feeding a port.
#pragma once

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/player/player.h"
#include "platform/player/video_sink.h"
#include "tests/player/ts_maker.h"

namespace playertest {

// Tests that play a stream run once for each codec a camera may send.
inline const auto kEveryCodec = ::testing::Values(Codec::kH264, Codec::kH265);
inline std::string CodecTestName(const ::testing::TestParamInfo<Codec>& info) {
  return CodecName(info.param);
}

// Far beyond any wait that passes; it only turns a hang into a failure.
constexpr auto kHangBound = std::chrono::seconds(20);

inline bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kHangBound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A window handle for tests: any distinct non-null value.
inline HWND FakeWindow(uintptr_t id) { return reinterpret_cast<HWND>(0x1000 + id); }

struct Pixel {
  int blue = 0, green = 0, red = 0, alpha = 0;
};

class CountingSink : public player::VideoSink {
 public:
  explicit CountingSink(player::SurfaceSize surface = {}) : surface_(surface) {}

  player::SurfaceSize Surface() override { return surface_; }
  void OnPicture(const player::VideoPicture& picture) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sizes_.push_back({picture.width, picture.height});
    const uint8_t* centre = picture.pixels + (picture.height / 2) * picture.strideBytes +
                            (picture.width / 2) * 4;
    lastCentre_ = {centre[0], centre[1], centre[2], centre[3]};
    centres_.push_back(lastCentre_);
    count_.fetch_add(1);
  }

  int Count() const { return count_.load(); }
  std::vector<player::SurfaceSize> Sizes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sizes_;
  }
  Pixel LastCentre() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastCentre_;
  }
  // The centre pixel of every picture, in the order they came.
  std::vector<Pixel> Centres() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return centres_;
  }

 private:
  const player::SurfaceSize surface_;
  std::atomic<int> count_{0};
  mutable std::mutex mutex_;
  std::vector<player::SurfaceSize> sizes_;  // guarded by mutex_
  Pixel lastCentre_;                        // guarded by mutex_
  std::vector<Pixel> centres_;              // guarded by mutex_
};

// Keeps sink registered for window while in scope; declared after the sink,
// so that the sink is unregistered before it is destroyed.
class ScopedSink {
 public:
  ScopedSink(HWND window, player::VideoSink& sink) : window_(window) {
    registered_ = player::RegisterVideoSink(window, &sink);
  }
  ~ScopedSink() { player::UnregisterVideoSink(window_); }
  ScopedSink(const ScopedSink&) = delete;
  ScopedSink& operator=(const ScopedSink&) = delete;
  bool Registered() const { return registered_; }

 private:
  const HWND window_;
  bool registered_ = false;
};

// GetPort, SetStreamOpenMode, OpenStream, Play in the program's order; -1 on failure.
inline LONG OpenAndPlay(const TsStream& stream, HWND window, DWORD bufferBytes = 1 << 20) {
  LONG port = -1;
  if (!PlayM4_GetPort(&port)) {
    return -1;
  }
  if (!PlayM4_SetStreamOpenMode(port, 0) ||
      !PlayM4_OpenStream(port, stream.header.data(), static_cast<DWORD>(stream.header.size()),
                         bufferBytes) ||
      !PlayM4_Play(port, window)) {
    PlayM4_FreePort(port);
    return -1;
  }
  return port;
}

struct DecodedJpeg {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel; empty when the JPEG did not decode
};

// Decodes a JPEG file image with TurboJPEG, a reader other than the writer.
inline DecodedJpeg DecodeJpeg(const uint8_t* jpeg, size_t size) {
  DecodedJpeg out;
  tjhandle tj = tjInitDecompress();
  int subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(tj, jpeg, size, &out.width, &out.height, &subsampling, &colourspace) ==
      0) {
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    if (tjDecompress2(tj, jpeg, size, out.rgb.data(), out.width, 0, out.height, TJPF_RGB, 0) != 0) {
      out.rgb.clear();
    }
  }
  tjDestroy(tj);
  return out;
}

// The port's snapshot as the program takes it (a buffer of width x height x
// 3 / 2 bytes for the size the port reports), decoded; empty on failure.
inline DecodedJpeg SnapshotOf(LONG port) {
  LONG width = 0, height = 0;
  if (!PlayM4_GetPictureSize(port, &width, &height)) {
    return {};
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(width) * height * 3 / 2);
  DWORD size = 0;
  if (!PlayM4_GetJPEG(port, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
    return {};
  }
  return DecodeJpeg(buffer.data(), size);
}

// Stop, CloseStream, FreePort in the program's order.
inline void CloseAll(LONG port) {
  PlayM4_Stop(port);
  PlayM4_CloseStream(port);
  PlayM4_FreePort(port);
}

inline bool Feed(LONG port, const std::vector<uint8_t>& bytes) {
  return PlayM4_InputData(port, bytes.data(), static_cast<DWORD>(bytes.size())) != 0;
}

// Feeds a picture's chunk as the device layer delivers it: whole TS packets,
// at most 64 of them (its 12,032-byte write buffer) in each piece.
inline bool FeedAsTheDevice(LONG port, const std::vector<uint8_t>& chunk) {
  constexpr size_t kPieceBytes = 188 * 64;
  for (size_t at = 0; at < chunk.size(); at += kPieceBytes) {
    const size_t size = std::min(kPieceBytes, chunk.size() - at);
    if (!WaitUntil([&] { return PlayM4_InputData(port, chunk.data() + at, static_cast<DWORD>(size)) != 0; })) {
      return false;
    }
  }
  return true;
}

// Feeds a chunk, retrying while the buffer is full (a patient feeder, unlike
// the program's, to keep a test's stream whole).
inline bool FeedPatiently(LONG port, const std::vector<uint8_t>& bytes) {
  return WaitUntil([&] { return Feed(port, bytes); });
}

}  // namespace playertest
